// The real-time safe wake, on the kernel's own sleep: a futex on Linux, a Mach semaphore on a Mac.
#include "wakeup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// A wait with no wake times out; a wake before the wait counts, once however often it came; a
// wake from another thread wakes the sleeper itself, well before its time runs out (a wait
// that only timed out would still see the wake and return true).
TEST(Wakeup, WakesTheSleeperOrTheNextWait) {
    platform::Wakeup wakeup;
    EXPECT_FALSE(wakeup.wait(20));
    wakeup.wake();
    wakeup.wake();
    EXPECT_TRUE(wakeup.wait(0));
    EXPECT_FALSE(wakeup.wait(20));

    std::thread waker([&wakeup] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        wakeup.wake();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(wakeup.wait(20000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    waker.join();
}
