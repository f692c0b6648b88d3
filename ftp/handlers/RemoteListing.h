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
// The opener is called on the UI thread with the row double-clicked: it
// takes what it needs of the window at once and returns the work that
// downloads and opens, for a worker.
using RemoteFileOpener = std::function<std::function<void()>(int row)>;
void setRemoteFileOpener(RemoteFileOpener open);
// UI thread: the work that opens the row; nothing to do when no opener is
// set.
std::function<void()> remoteFileOpenerFor(int row);
