#include "events.h"

#include <cerrno>
#include <cstdint>
#include <sys/event.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr uintptr_t postedIdent = 1;

}  // namespace

struct Events::Parts {
    int queue = -1;
    bool watchesAll = false;
    bool gone = false;  // the process had already ended when the watch began
    bool outputGone = false;  // the pipe's reader had already gone
};

Events::Events(const sigset_t& signals, pid_t pid, int output) : parts_(std::make_unique<Parts>()) {
    parts_->queue = ::kqueue();
    if (parts_->queue < 0) {
        return;
    }
    bool all = true;
    auto add = [&](uintptr_t ident, short filter, unsigned fflags, intptr_t data = 0) {
        struct kevent change;
        EV_SET(&change, ident, filter, EV_ADD | EV_CLEAR, fflags, data, nullptr);
        return ::kevent(parts_->queue, &change, 1, nullptr, 0, nullptr) == 0;
    };
    // Only a pipe: a file or a terminal has no reader to lose, and a socket tells more than its
    // end. A low-water mark no pipe can reach leaves only the end of the reader (EV_EOF) to tell.
    struct stat about {};
    if (output >= 0 && ::fstat(output, &about) == 0 && S_ISFIFO(about.st_mode) &&
        !add(static_cast<uintptr_t>(output), EVFILT_WRITE, NOTE_LOWAT, INTPTR_MAX)) {
        // A pipe whose reader has already gone cannot be watched (EPIPE).
        parts_->outputGone = errno == EPIPE;
        all = all && parts_->outputGone;
    }
    // A kqueue sees a signal however the thread masks are set; the signal itself stays blocked.
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&signals, signal) == 1) {
            all = add(static_cast<uintptr_t>(signal), EVFILT_SIGNAL, 0) && all;
        }
    }
    all = add(postedIdent, EVFILT_USER, 0) && all;
    if (pid > 0 && !add(static_cast<uintptr_t>(pid), EVFILT_PROC, NOTE_EXIT)) {
        // Registering on a process that has already ended fails with ESRCH.
        parts_->gone = errno == ESRCH;
        all = all && parts_->gone;
    }
    parts_->watchesAll = all;
}

Events::~Events() {
    if (parts_->queue >= 0) {
        ::close(parts_->queue);
    }
}

bool Events::complete() const {
    return parts_->watchesAll;
}

void Events::post() {
    struct kevent trigger;
    EV_SET(&trigger, postedIdent, EVFILT_USER, 0, NOTE_TRIGGER, 0, nullptr);
    ::kevent(parts_->queue, &trigger, 1, nullptr, 0, nullptr);
}

Events::Woken Events::wait(int timeoutMs) {
    Woken woken;
    woken.exited = parts_->gone;
    woken.outputGone = parts_->outputGone;
    if (woken.exited || woken.outputGone || parts_->queue < 0) {
        return woken;
    }
    timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    struct kevent happened[8];
    int ready;
    do {
        ready = ::kevent(parts_->queue, nullptr, 0, happened, 8, timeoutMs < 0 ? nullptr : &limit);
    } while (ready < 0 && errno == EINTR);
    for (int i = 0; i < ready; ++i) {
        woken.signal = woken.signal || happened[i].filter == EVFILT_SIGNAL;
        woken.exited = woken.exited || (happened[i].filter == EVFILT_PROC && (happened[i].fflags & NOTE_EXIT) != 0);
        woken.posted = woken.posted || happened[i].filter == EVFILT_USER;
        woken.outputGone = woken.outputGone || (happened[i].filter == EVFILT_WRITE && (happened[i].flags & EV_EOF) != 0);
    }
    // Told at every wait from now on, as a pipe's POLLERR is.
    parts_->outputGone = woken.outputGone;
    return woken;
}

}  // namespace platform
