#pragma once
// Opening the selected local file with its program or the text editor.

void openLocalFile();
void openLocalWithNotepad();
