#pragma once
#include "ftp/EntryKind.h"

#include <cstdint>
#include <functional>
#include <string>

class LocalEntryBatch;

// What the remote list knows of a row besides its texts.
struct RemoteFileFacts {
    EntryKind kind = kKindUnknown;
    // The name the local copy gets; empty: the shown name.
    std::string localName;
    // The exact size the listing gave; -1 when unknown.
    int64_t size = -1;
};

// What a batch asks of each of its downloads besides the file itself.
struct DownloadBatchHooks {
    // Arrived files join the local list through this batch instead of one
    // row at a time.
    LocalEntryBatch* arrivals = nullptr;
    // Called with the result on the UI thread, in the same trip as the
    // file's own control calls (a batch counts there without a trip of its
    // own).
    std::function<void(bool)> afterOnUiThread;
};

// Downloads one remote file of the directory shown into the target folder
// (the local folder when empty) and adds it to the local list. Logs the
// result; returns whether the file arrived.
bool downloadOne(const std::string& name, const std::string& sizeText, const std::string& targetFolder,
                 const RemoteFileFacts& facts = {}, const DownloadBatchHooks& hooks = {});

// The batch started by the download command: the selected rows, in order.
void downloadBatch();

// The download button and the "下载(&X)" command: the selected rows.
void downloadButton();
// "另存为(&L)": the selected rows into a folder the user picks.
void downloadCommand();
// "全部下载(&Q)": every file row of the remote list.
void downloadAll();
// Double-click on a remote file: download it and open it.
void openRemoteFile();
