#pragma once
// The process-wide state the handlers share. Fields touched by worker
// threads and the UI thread at once are atomic or guarded, so a read never
// sees a torn value.
#include <atomic>
#include <mutex>
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
    std::atomic<int> connected{0};
    std::atomic<int> entryCount{0};

    // Transfers.
    std::atomic<int> quickDownload{0};
    // Download runs while 0, upload runs while 1: starting one stops the other.
    std::atomic<int> transferFlag{0};
    SharedText targetFolder;
    SharedText downloadPath;
    std::atomic<float> downloadTotal{0};
    std::atomic<int> uploadFailed{0};
    RemoteWatch remoteWatch;

    // Remote delete work lists (used by the one delete batch at a time).
    std::vector<std::string> deleteFolders;
    std::vector<std::string> deleteFiles;
};

AppState& appState();

// Replaces the state with a fresh one (start-up, and between tests).
void resetAppState();
