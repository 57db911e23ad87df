#include "tap/watch.h"

#include "process_exit.h"
#include "shared/report.h"
#include "tap/run_state.h"

#include <chrono>
#include <csignal>
#include <future>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tap {

namespace {

// The parent's exit wakes the watch at once, a signal does not: the platform's wait goes on after
// one. Short waits keep a stop as quick as a poll that a signal cuts short.
constexpr int watchIntervalMs = 10;
// How often the stops are looked at while the start waits for sound.
constexpr int startLookMs = 5;

// True when the host has gone: its exit seen, or we were handed to another parent. Waits up to
// `waitMs` for it.
bool parentGone(int waitMs) {
    if (getppid() != parent) {
        return true;
    }
    auto asked = std::chrono::steady_clock::now();
    if (platform::waitForExit(parent, waitMs)) {
        return true;
    }
    // A platform that cannot watch the parent answers at once: then this is a plain sleep.
    auto waited = std::chrono::steady_clock::now() - asked;
    if (waited < std::chrono::milliseconds(waitMs)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs) - waited);
    }
    return false;
}

}  // namespace

// With "tapautostart" the start waits until a tapped process plays, which may be never: it runs on
// a thread of its own, with the stop signals blocked so that they reach the main thread.
bool startWatched() {
    std::packaged_task<OSStatus()> start([] { return AudioDeviceStart(device, *procID); });
    std::future<OSStatus> started = start.get_future();
    sigset_t stops, before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    try {
        std::thread(std::move(start)).detach();
    } catch (const std::system_error&) {
        report::failWithStatus("couldn't start the tap");
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    while (started.wait_for(std::chrono::milliseconds(startLookMs)) != std::future_status::ready) {
        // The private tap and device go with the process.
        if (stopRequested.load() != 0 || getppid() != parent) {
            return false;
        }
    }
    status = started.get();
    if (status != 0) {
        report::failWithStatus("couldn't start the tap", status);
    }
    return true;
}

void watch(Format format) {
    while (stopRequested.load() == 0 && !outputClosed.load()) {
        if (parentGone(watchIntervalMs)) {
            return;
        }
        auto now = readFormat();
        if (!now || (now->rate == format.rate && now->channels == format.channels)) {
            continue;
        }
        if (firstChannel + 2 > static_cast<std::int64_t>(now->channels)) {
            // No more audio after the report.
            AudioDeviceStop(device, *procID);
            checkPair(*now);
        }
        format = *now;
        sayFormat(format);
    }
}

}  // namespace tap
