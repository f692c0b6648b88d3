#include "app/state/LogBatch.h"

#include "app/forms/MainWindow.h"

namespace {

constexpr std::chrono::milliseconds kAppendInterval{25};

} // namespace

LogBatch::~LogBatch() {
    flush();
}

void LogBatch::add(const std::string& text) {
    pending_ += text;
    pending_ += '\n';
    if (std::chrono::steady_clock::now() - lastAppend_ >= kAppendInterval)
        flush();
}

void LogBatch::flush() {
    if (!pending_.empty()) {
        mainWindow().消息框.appendText(pending_);
        pending_.clear();
    }
    lastAppend_ = std::chrono::steady_clock::now();
}
