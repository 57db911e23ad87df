#include "tap/watch.h"

#include "shared/report.h"
#include "tap/following.h"
#include "tap/format.h"
#include "tap/listeners.h"
#include "tap/run_state.h"
#include "tap/writer.h"

#include <atomic>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tap {

namespace {

// Without a complete wait (the platform could not watch a signal or the host) or a listener that
// could not be added, the main thread looks for itself this often, as a plain poll would.
constexpr int fallbackLookMs = 100;

// One wait for whatever comes first; a stop signal it takes is the stop handler's flag raised.
platform::Events::Woken nextEvent(bool looks) {
    auto woken = events->wait(looks ? fallbackLookMs : -1);
    if (woken.signal) {
        stopRequested.store(1);
    }
    return woken;
}

bool hostGone(const platform::Events::Woken& woken) {
    return woken.exited || getppid() != parent;
}

// Does not return. The service took the tap and its device with it, so no more cycles come and
// nothing is torn down; what the ring holds goes out first, as after a stop.
[[noreturn]] void endRestarted(const platform::Events::Woken& woken) {
    stopListening();
    if (!outputClosed.load() && !woken.outputGone && !hostGone(woken)) {
        finishWriting(drainMs);
    }
    failRestarted();
}

// The process list is read only when a listener has told of a change (or nothing can tell).
void followIfChanged(bool looks) {
    if (processesChanged.exchange(false) || looks) {
        followApplication();
    }
}

// Does not return: no more audio comes, the frames before this moment go out (unless the reader,
// the host or a stop does not let them), then the run fails with `message`.
[[noreturn]] void endWith(const std::string& message, bool looks) {
    stopListening();
    AudioDeviceStop(device, *procID);
    endStream();
    platform::Events::Woken woken;
    while (!streamEnded.load() && stopRequested.load() == 0 && !outputClosed.load() && !woken.outputGone &&
           !hostGone(woken)) {
        woken = nextEvent(looks);
    }
    report::failWithStatus(message);
}

}  // namespace

// With "tapautostart" the start returns only once a tapped process plays, which may be never.
void startWatched(bool listening) {
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
    const bool looks = !listening || !events->complete();
    platform::Events::Woken woken;
    while (!started.load()) {
        // The start thread is still inside the platform's call, which a restart does not end: the
        // process must not run its exit-time destructors under it. The private tap and device go
        // with the process.
        if (stopRequested.load() != 0 || woken.outputGone || hostGone(woken)) {
            _exit(0);
        }
        bool unreadable = false;
        if (looks) {
            readFormat(&unreadable);
        }
        if (restarted.load() || unreadable) {
            failRestarted(true);
        }
        // A process of the application that starts playing now is what the start waits for.
        followIfChanged(looks);
        woken = nextEvent(looks);
    }
    status = result.load();
    if (status != 0) {
        if (restarted.load()) {
            failRestarted();
        }
        report::failWithStatus("couldn't start the tap", status);
    }
}

void watch(Format format, bool listening) {
    const bool looks = !listening || !events->complete();
    platform::Events::Woken woken;
    while (stopRequested.load() == 0 && !outputClosed.load() && !woken.outputGone && !hostGone(woken)) {
        if (restarted.load()) {
            endRestarted(woken);
        }
        if (deviceStopped.load()) {
            endWith("the tap's device stopped, so the capture stopped", looks);
        }
        // The format is read only when a listener has told of a change (or nothing can tell).
        if (woken.posted || looks) {
            bool unreadable = false;
            auto now = readFormat(&unreadable);
            if (unreadable) {
                endRestarted(woken);
            }
            if (auto problem = unusable(now)) {
                endWith(*problem, looks);
            }
            if (now->rate != format.rate) {
                format = *now;
                // Told by the writer where the IO procedure marks it.
                ring->announceRate(format.rate);
            }
        }
        followIfChanged(looks);
        woken = nextEvent(looks);
    }
}

}  // namespace tap
