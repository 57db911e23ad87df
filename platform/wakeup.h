// One thread sleeps until others wake it. The wake is safe on a real-time thread: it never
// blocks, locks or allocates, and makes a system call only when the sleeper is asleep (a futex
// on Linux, a Mach semaphore on macOS).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace platform {

class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // False when the platform could not give it what it sleeps on: then it must not be used.
    bool ready() const;

    // Wakes the sleeper, or the next wait when nobody sleeps yet. Any thread, any number of times.
    void wake() {
        if (state_.exchange(1) == 2) {
            wakeSleeper();
        }
    }

    // Returns once a wake has come since the last wait returned; false when `timeoutMs` (negative:
    // for ever) passed first. One thread only.
    bool wait(int timeoutMs = -1) {
        while (true) {
            if (state_.exchange(0) == 1) {
                return true;
            }
            std::uint32_t idle = 0;
            if (state_.compare_exchange_strong(idle, 2) && !sleepWhileAsleep(timeoutMs)) {
                // A wake that came as the time ran out still counts.
                return state_.exchange(0) == 1;
            }
        }
    }

private:
    // 0: nothing, 1: woken, 2: the sleeper is asleep or about to be.
    std::atomic<std::uint32_t> state_{0};
    struct Sleep;
    std::unique_ptr<Sleep> sleep_;
    // Sleeps while the state is 2; false when the time ran out.
    bool sleepWhileAsleep(int timeoutMs);
    void wakeSleeper();
};

}  // namespace platform
