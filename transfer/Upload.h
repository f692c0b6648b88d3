#pragma once
#include "ftp/FtpTypes.h"
#include "transfer/BatchRetry.h"
#include "transfer/BatchSnapshot.h"

#include <string>
#include <vector>

class BatchProgress;

// The batch started by the upload button: the chosen rows of the local
// list, files and whole folder trees, into the snapshot's remote folder.
void uploadBatch(const BatchSnapshot& snapshot);

// Sends one local file; a transfer that breaks off is tried again, going on
// from what the server kept where it can. Logs each retry, logs and counts
// the result. A file sent outside an uploaded folder gets a row in the
// remote list, while that list shows the snapshot's folder, unless one has
// its name. The retries are the batch's, on the connection the file goes
// over; progress: the batch's bar, when files run at once (the file then
// has no bar of its own).
void uploadOne(const std::string& localPath, const RemoteName& remote, bool insideFolder,
               const BatchSnapshot& snapshot, BatchRetries& retries, BatchProgress* progress = nullptr);

// Every file below the folder: a folder's own files first, then its
// subfolders depth first, each in the order the folder is read. Anything
// that is not a real folder counts as a file; links below the folder are
// never walked, whatever they lead to. The walk keeps the bounds of
// WalkBounds: a folder that is one of its own ancestors (a bind mount) is
// skipped, and past a bound the listing stops; notes then holds the log
// lines that say so.
struct LocalTree {
    std::vector<std::string> files;
    std::vector<std::string> notes;
};
LocalTree listLocalTree(const std::string& folder);
std::vector<std::string> listFilesRecursive(const std::string& folder);

// The upload button and the "上传(&C)" command.
void uploadButton();
