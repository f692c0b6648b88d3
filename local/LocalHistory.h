#pragma once

// Writes the folder box text and the first 11 history entries that differ
// from it to "本地目录", and adds the text to the history when it is new.
void saveLocalHistory();
