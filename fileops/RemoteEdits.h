#pragma once
// Renaming and creating remote entries.

void renameRemote();
void makeRemoteDirectory();
