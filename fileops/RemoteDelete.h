#pragma once
#include <string>

// The delete batch: the selected rows of the remote list, folders with
// everything below them.
void deleteRemoteBatch();

// Collects the tree below the remote folder into the work lists: the folder
// and its subfolders (parents before children) in deleteFolders, the files
// in deleteFiles, which are then appended to deleteFolders. Returns how many
// elements at the front of deleteFolders are folders.
size_t collectRemoteTree(const std::string& folder);
