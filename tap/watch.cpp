#include "tap/watch.h"

#include "shared/report.h"
#include "tap/format.h"
#include "tap/run_state.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tap {

namespace {

// Without a complete wait (the platform could not watch a signal or the host) the main thread
// looks for itself this often, as a plain poll would.
constexpr int fallbackLookMs = 100;

// One wait for whatever comes first; a stop signal it takes is the stop handler's flag raised.
platform::Events::Woken nextEvent() {
    auto woken = events->wait(events->complete() ? -1 : fallbackLookMs);
    if (woken.signal) {
        stopRequested.store(1);
    }
    return woken;
}

bool hostGone(const platform::Events::Woken& woken) {
    return woken.exited || getppid() != parent;
}

}  // namespace

// With "tapautostart" the start returns only once a tapped process plays, which may be never.
void startWatched() {
    static std::atomic<bool> started{false};
    static std::atomic<OSStatus> result{0};
    try {
        std::thread([] {
            result.store(AudioDeviceStart(device, *procID));
            started.store(true);
            events->post();
        }).detach();
    } catch (const std::system_error&) {
        report::failWithStatus("couldn't start the tap");
    }
    platform::Events::Woken woken;
    while (!started.load()) {
        if (stopRequested.load() != 0 || hostGone(woken)) {
            // The start thread is still inside the platform's call: the process must not run its
            // exit-time destructors under it. The private tap and device go with the process.
            _exit(0);
        }
        woken = nextEvent();
    }
    status = result.load();
    if (status != 0) {
        if (restarted.load()) {
            failRestarted();
        }
        report::failWithStatus("couldn't start the tap", status);
    }
}

void watch(Format format) {
    platform::Events::Woken woken;
    while (stopRequested.load() == 0 && !outputClosed.load() && !hostGone(woken)) {
        if (restarted.load()) {
            failRestarted();
        }
        // The format is read only when a listener has told of a change (or nothing can tell).
        if (woken.posted || !events->complete()) {
            bool unreadable = false;
            auto now = readFormat(&unreadable);
            if (unreadable) {
                failRestarted();
            }
            if (now && (now->rate != format.rate || now->channels != format.channels)) {
                if (firstChannel + 2 > static_cast<std::int64_t>(now->channels)) {
                    // No more audio after the report.
                    AudioDeviceStop(device, *procID);
                    checkPair(*now);
                }
                format = *now;
                sayFormat(format);
            }
        }
        woken = nextEvent();
    }
}

}  // namespace tap
