// The watchdog that bounds every wait of the SFTP engine: a deadline ends
// in one call of its expiry, whatever deadline came before it, and a
// disarmed or re-armed one never fires early.
#include "sftp/Watchdog.h"

#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using testsupport::waitFor;

namespace {

constexpr int kFarMs = 3600 * 1000;

TEST(SftpWatchdog, ASoonerDeadlineFiresWhateverCameBefore) {
    std::atomic<int> fired{0};
    sftp::Watchdog watchdog([&] { ++fired; });
    // The thread sleeps towards a far deadline when a near one comes:
    // armed again, and armed after a disarm.
    watchdog.arm(kFarMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    watchdog.arm(50);
    ASSERT_TRUE(waitFor([&] { return fired == 1; }));
    EXPECT_TRUE(watchdog.expired());

    watchdog.arm(kFarMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    watchdog.disarm();
    watchdog.arm(50);
    ASSERT_TRUE(waitFor([&] { return fired == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(fired, 2);  // once per deadline
}

TEST(SftpWatchdog, DisarmedOrPushedBackItDoesNotFire) {
    std::atomic<int> fired{0};
    sftp::Watchdog watchdog([&] { ++fired; });
    // Disarmed: the thread still wakes at the old deadline, for nothing.
    watchdog.arm(300);
    watchdog.disarm();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(watchdog.expired());
    // Re-armed before each deadline, as progress does, then left to run
    // out: it fires only at the last one.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        watchdog.arm(2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    ASSERT_TRUE(waitFor([&] { return fired == 1; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(270 + 2000));
}

} // namespace
