#pragma once
#include <string>
#include <vector>

// The batch started by the upload button: the selected rows of the local
// list, files and whole folder trees.
void uploadBatch();

// Sends one local file; logs and counts the result. A file sent outside an
// uploaded folder gets a row in the remote list unless one has its name.
void uploadOne(const std::string& localPath, const std::string& remotePath, bool insideFolder);

// Every file below the folder: a folder's own files first, then its
// subfolders depth first, each in the order the folder is read. Anything
// that is not a real folder counts as a file; links below the folder are
// never walked, whatever they lead to.
std::vector<std::string> listFilesRecursive(const std::string& folder);

// The upload button and the "上传(&C)" command.
void uploadButton();
