#pragma once
#include "transfer/BatchRetry.h"
#include "transfer/BatchSnapshot.h"

#include <functional>
#include <string>

class BatchProgress;
class LocalEntryBatch;

// What a batch asks of each of its downloads besides the file itself.
struct DownloadBatchHooks {
    // Arrived files join the local list through this batch instead of one
    // row at a time.
    LocalEntryBatch* arrivals = nullptr;
    // Called with the result on the UI thread, in the same trip as the
    // file's own control calls (a batch counts there without a trip of its
    // own).
    std::function<void(bool)> afterOnUiThread;
    // The batch's retries on the connection the file goes over; without
    // them the file retries alone on the snapshot's session, its waits
    // ended by 断开 and closing the window.
    BatchRetries* retries = nullptr;
    // The batch's bar, when its files run on several connections at once:
    // the file then has no bar of its own.
    BatchProgress* progress = nullptr;
};

// Downloads one chosen file of the snapshot's remote folder into its target
// folder (the snapshot's local folder when it has none) and adds it to the
// local list while that list shows the snapshot's local folder. A transfer
// that breaks off is tried again (a partial continued where it can be).
// Logs each retry and the result; returns whether the file arrived.
bool downloadOne(const ChosenRow& row, const BatchSnapshot& snapshot, const DownloadBatchHooks& hooks = {});

// The batch started by the download command: the chosen rows, in order.
void downloadBatch(const BatchSnapshot& snapshot);

// The download button and the "下载(&X)" command: the selected rows.
void downloadButton();
// "另存为(&L)": the selected rows into a folder the user picks.
void downloadCommand();
// "全部下载(&Q)": takes every row of the remote list, then downloads the
// files on a worker.
void downloadAllCommand();
void downloadAll(const BatchSnapshot& snapshot);
// Double-click on a remote file (UI thread): takes the row at once and
// returns the work that downloads and opens it, for a worker.
std::function<void()> openRemoteFileLater(int row);
void openRemoteFile(const BatchSnapshot& snapshot);
