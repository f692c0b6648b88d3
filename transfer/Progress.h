#pragma once
#include "ftp/handlers/CurrentSession.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What a batch whose files run on several connections at once has moved:
// the bytes of its finished files and those its running transfers have
// moved so far. Any thread.
class BatchProgress {
public:
    explicit BatchProgress(int64_t totalBytes) : total_(totalBytes) {}
    void fileStarted(const SessionHandle& session);
    // bytes: the file's size, counted whether or not it arrived (the bar
    // shows how far the batch got, not what it got).
    void fileEnded(const SessionHandle& session, int64_t bytes);
    int64_t bytesDone() const;
    int64_t totalBytes() const { return total_; }

private:
    mutable std::mutex mutex_;
    const int64_t total_;
    int64_t finished_ = 0;
    std::vector<SessionHandle> running_;
};

// The bar follows the batch until stopBatchWatch(); the watches of single
// files are not started meanwhile.
void startBatchWatch(const std::shared_ptr<BatchProgress>& progress);
void stopBatchWatch();

// Starts the 500 ms progress watch of a download on the session into
// localPath of the expected size (the size column's KB figure times 1024).
void startDownloadWatch(const SessionHandle& session, const std::string& localPath, float expectedBytes);

// Starts the watch of an upload of that many bytes on the session: the bar
// follows its count of bytes sent.
void startUploadWatch(const SessionHandle& session, int64_t totalBytes);

// Stops the watch and empties the bar.
void stopProgressWatch();

// Percentage shown for done of total bytes: truncated toward zero, 0 when
// the quotient is not a finite number, kept within 0..100.
int progressPercent(double done, double total);

// The timers' ticks: the download's file size, an upload's bytes sent.
void downloadProgressTick();
void remoteWatchTick();
