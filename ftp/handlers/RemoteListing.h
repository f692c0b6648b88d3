#pragma once
// The remote list: listing the directory 'FTP目录框' names, moving up and
// into folders.
#include <functional>

void listRemoteDirectory();
void refreshRemote();
void goUpRemote();
void remoteItemDoubleClicked();
void remotePathEntered();

// What a double-click on a remote file (or a link that is not a folder)
// does. The transfers build on the listing, so the start-up hands their
// download-and-open in here instead of the listing calling up to them.
void setRemoteFileOpener(std::function<void()> open);
// Runs the opener set above on this thread; nothing when none is set.
void openRemoteFileFromList();
