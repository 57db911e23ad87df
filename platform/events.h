// The one wait of a thread that has several things to notice: stop signals, the end of another
// process, the reader of a pipe going away, and events that other threads hand over (a listener, a
// worker). One kqueue on macOS (EVFILT_SIGNAL, EVFILT_PROC with NOTE_EXIT, EVFILT_WRITE's EV_EOF,
// EVFILT_USER), one poll on Linux over a signalfd, a pidfd, the pipe (its POLLERR) and an eventfd.
// Nothing wakes the waiter while nothing happens.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <memory>

namespace platform {

class Events {
public:
    // Watches `signals`, which every thread of the process keeps blocked from its start, the end
    // of process `pid` and, when `output` is the writing end of a pipe, the end of its reader. As a
    // Mac's kqueue, it tells only of signals sent after it is made: one already pending is never
    // reported.
    Events(const sigset_t& signals, pid_t pid, int output = -1);
    ~Events();
    Events(const Events&) = delete;
    Events& operator=(const Events&) = delete;

    // False when some part could not be set up: then `wait` notices only what is handed over, and
    // the caller looks for the rest itself between short waits.
    bool complete() const;

    // Hands an event over to the waiter. Any thread; never blocks.
    void post();

    struct Woken {
        bool signal = false;   // one of the signals came (and is taken)
        bool exited = false;   // the process has ended or no longer exists
        bool posted = false;   // something was handed over since the last wait
        bool outputGone = false;  // the pipe's reader has closed its end (told at every wait since)
    };
    // Sleeps until at least one of them, or `timeoutMs` (negative: no limit) has passed.
    Woken wait(int timeoutMs = -1);

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace platform
