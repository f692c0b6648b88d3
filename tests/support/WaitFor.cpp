#include "tests/support/WaitFor.h"

#include <chrono>
#include <thread>

namespace testsupport {

bool waitFor(const std::function<bool()>& condition, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace testsupport
