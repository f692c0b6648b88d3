#pragma once
// Log lines of a long run of quick operations, appended together. Every
// append is a trip to the UI thread, and in a tree of small files the trip
// took as long as deleting a file. A line is appended with the first line
// that comes at least an interval after the last append, or when the batch
// is flushed or ends; when operations are slower than the interval every
// line goes out at once.
#include <chrono>
#include <string>

class LogBatch {
public:
    LogBatch() = default;
    ~LogBatch();
    LogBatch(const LogBatch&) = delete;
    LogBatch& operator=(const LogBatch&) = delete;

    // The same line appendLog would append.
    void add(const std::string& text);
    void flush();

private:
    std::string pending_;
    std::chrono::steady_clock::time_point lastAppend_{};
};
