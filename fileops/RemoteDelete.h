#pragma once
#include <cstddef>
#include <string>
#include <unordered_set>

// The delete batch: the selected rows of the remote list, folders with
// everything below them.
void deleteRemoteBatch();

// What the collection found besides the work lists.
struct RemoteTree {
    // How many elements at the front of deleteFolders are folders.
    std::size_t folderCount = 0;
    // Paths among the files that are links (removed as the link itself).
    std::unordered_set<std::string> links;
};

// Collects the tree below the remote folder into the work lists: the folder
// and its subfolders (parents before children) in deleteFolders, the files
// and links in deleteFiles, which are then appended to deleteFolders. Only
// folders the server shows as real directories are walked.
RemoteTree collectRemoteTree(const std::string& folder);

// "删除文件或目录(&S)" on the remote list.
void deleteRemoteCommand();
