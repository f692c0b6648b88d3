#pragma once
#include "ftp/FtpTypes.h"
#include "transfer/BatchRetry.h"
#include "transfer/BatchSnapshot.h"

#include <cstddef>
#include <string>
#include <unordered_set>

// The delete batch: the chosen rows of the remote list, folders with
// everything below them.
void deleteRemoteBatch(const BatchSnapshot& snapshot);

// What the collection found besides the work lists.
struct RemoteTree {
    // How many elements at the front of deleteFolders are folders.
    std::size_t folderCount = 0;
    // Paths among the files that are links (removed as the link itself).
    std::unordered_set<std::string> links;
    // Why the walk stopped before it had listed the whole tree (a bound of
    // WalkBounds passed, or a folder repeating an ancestor); empty when it
    // did not. Nothing of such a tree is to be deleted.
    std::string stopReason;
};

// Collects the tree below the remote folder into the work lists: the folder
// and its subfolders (parents before children) in deleteFolders, the files
// and links in deleteFiles, which are then appended to deleteFolders. Only
// folders the server shows as real directories are walked, within the
// bounds of WalkBounds; a folder whose name and listing are those of one
// of its ancestors (folders that show each other, as bind mounts do) stops
// the walk. A listing that fails because the connection dropped is made
// again, with the batch's retries.
RemoteTree collectRemoteTree(const RemoteName& folder, BatchRetries& retries);

// "删除文件或目录(&S)" on the remote list.
void deleteRemoteCommand();
