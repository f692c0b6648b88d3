#pragma once
// Waiting on a condition in tests without Qt, with a generous limit.
#include <functional>

namespace testsupport {

// Checks the condition every 20 ms until it holds (true) or ms passed.
bool waitFor(const std::function<bool()>& condition, int ms = 15000);

} // namespace testsupport
