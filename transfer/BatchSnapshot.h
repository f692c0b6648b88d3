#pragma once
// What a batch acts on, taken once when the user starts it: the chosen rows
// and both folders as they stood then. A batch never reads the lists or the
// folder boxes again, so navigating, refreshing, typing a path or starting
// another operation while it runs changes nothing of what it does. A plain
// value: the batch keeps it and hands it down.
#include "ftp/EntryKind.h"
#include "ftp/FtpTypes.h"
#include "ftp/handlers/CurrentSession.h"

#include <cstdint>
#include <string>
#include <vector>

// One chosen row of either list.
struct ChosenRow {
    std::string name;      // column 0 as shown (UTF-8)
    std::string sizeText;  // column 1
    EntryKind kind = kKindUnknown;  // what the row's list knows of it
    int64_t size = -1;     // the exact size the listing gave; -1 unknown
    // Remote rows: the name a local copy gets. Local rows: the name's
    // bytes in the file system.
    std::string rawName;
    // Remote rows: the entry's path, shown and in the server's bytes.
    RemoteName remote;
    // The row's index in its list when the snapshot was taken.
    int index = -1;
};

struct BatchSnapshot {
    // The connection the batch works on: the current one when it started,
    // whatever is connected later.
    SessionHandle session;
    std::vector<ChosenRow> rows;
    // The remote folder box's text, with the folder's bytes on the server.
    RemoteName remoteFolder;
    // The local folder box's folder as file-system bytes, as typed (no
    // separator added).
    std::string localFolder;
    // The folder "另存为" downloads into; empty: the local folder.
    std::string targetFolder;
};

// These read the window on the UI thread (from any thread, in one trip).
// The rows of the remote list at the indexes (in that order); the server's
// bytes for each are taken too.
BatchSnapshot remoteSnapshot(const std::vector<int>& indexes);
BatchSnapshot selectedRemoteSnapshot();
BatchSnapshot allRemoteSnapshot();
// The rows of the local list at the indexes.
BatchSnapshot localSnapshot(const std::vector<int>& indexes);
BatchSnapshot selectedLocalSnapshot();
BatchSnapshot allLocalSnapshot();
// The remote folder as the box shows it now, with its bytes, and the
// current session (an upload that connects first takes them once
// connected).
void takeRemoteFolder(BatchSnapshot& snapshot);

// The local folder with the separator appended unless it ends in one.
std::string localFolderPrefix(const BatchSnapshot& snapshot);
// The path of a chosen local row.
std::string localRowPath(const BatchSnapshot& snapshot, const ChosenRow& row);

// UI thread: whether the lists still show the snapshot's folders (the
// remote one on the snapshot's session).
bool remoteListShows(const BatchSnapshot& snapshot);
bool localListShows(const BatchSnapshot& snapshot);
// UI thread: the row of the list that still stands for the chosen row (the
// same text, exactly), its old index tried first; -1 when the list no
// longer shows the snapshot's folder or the row is gone.
int remoteRowNow(const BatchSnapshot& snapshot, const ChosenRow& row);
int localRowNow(const BatchSnapshot& snapshot, const ChosenRow& row);
