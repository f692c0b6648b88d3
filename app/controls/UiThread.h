#pragma once
// Control operations may be called from worker threads; they are then
// carried out synchronously on the UI thread, which owns every widget.
#include <functional>

namespace ui {

// Must be called once on the UI thread after the QApplication exists.
void initUiThread();

bool onUiThread();

// Runs fn on the UI thread and returns when it has run. Called on the UI
// thread it runs fn directly. Once the UI has shut down it does nothing.
void runOnUiThread(const std::function<void()>& fn);

// After this, calls from workers return at once without running anything.
void shutDownUiThread();

} // namespace ui
