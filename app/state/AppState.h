#pragma once
// The process-wide state the handlers share. Fields touched by worker
// threads and the UI thread at once are atomic or guarded, so a read never
// sees a torn value.
#include "ftp/FtpTypes.h"
#include "serverbook/ServerBook.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// A text shared between threads.
class SharedText {
public:
    std::string get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void set(const std::string& value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = value;
    }

private:
    mutable std::mutex mutex_;
    std::string value_;
};

struct RemoteWatch {
    SharedText remotePath;
    std::atomic<double> total{0};
    std::atomic<int> pollingFlag{0};
};

struct AppState {
    SharedText settingsPath;
    // The connection setting ("IP信息") the server manager chose last in
    // this run. Connects use it rather than what the settings file holds,
    // which may be an older choice when the file could not be written.
    SharedText chosenServer;
    // Settings keys whose failed save the log has told of (once each).
    std::mutex unsavedMutex;
    std::set<std::string> unsavedReported;
    std::atomic<int> connected{0};
    // Counts 断开: work that began before one no longer waits to try again
    // nor makes the connection again.
    std::atomic<int> disconnects{0};
    std::atomic<int> entryCount{0};

    // Transfers.
    std::atomic<int> quickDownload{0};
    // Download runs while 0, upload runs while 1: starting one stops the other.
    std::atomic<int> transferFlag{0};
    SharedText targetFolder;
    SharedText downloadPath;
    std::atomic<float> downloadTotal{0};
    std::atomic<int> uploadFailed{0};
    // The progress tick follows an upload's bytes sent instead of the size
    // of the file being downloaded while this is 1.
    std::atomic<int> uploadWatched{0};
    std::atomic<int64_t> uploadTotal{0};
    RemoteWatch remoteWatch;

    // Remote delete work lists (used by the one delete batch at a time),
    // each path with the server's bytes for it.
    std::vector<RemoteName> deleteFolders;
    std::vector<RemoteName> deleteFiles;

    // The server book's database object; its file is open while the server
    // manager window exists.
    serverbook::ServerBook serverBook;
};

AppState& appState();

// Replaces the state with a fresh one (start-up, and between tests).
void resetAppState();
