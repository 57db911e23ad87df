#include "events.h"

#include <cerrno>
#include <sys/event.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr uintptr_t postedIdent = 1;

}  // namespace

struct Events::Parts {
    int queue = -1;
    bool watchesAll = false;
    bool gone = false;  // the process had already ended when the watch began
};

Events::Events(const sigset_t& signals, pid_t pid) : parts_(std::make_unique<Parts>()) {
    parts_->queue = ::kqueue();
    if (parts_->queue < 0) {
        return;
    }
    bool all = true;
    auto add = [&](uintptr_t ident, short filter, unsigned fflags) {
        struct kevent change;
        EV_SET(&change, ident, filter, EV_ADD | EV_CLEAR, fflags, 0, nullptr);
        return ::kevent(parts_->queue, &change, 1, nullptr, 0, nullptr) == 0;
    };
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
    if (woken.exited || parts_->queue < 0) {
        return woken;
    }
    timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    struct kevent happened[4];
    int ready;
    do {
        ready = ::kevent(parts_->queue, nullptr, 0, happened, 4, timeoutMs < 0 ? nullptr : &limit);
    } while (ready < 0 && errno == EINTR);
    for (int i = 0; i < ready; ++i) {
        woken.signal = woken.signal || happened[i].filter == EVFILT_SIGNAL;
        woken.exited = woken.exited || (happened[i].filter == EVFILT_PROC && (happened[i].fflags & NOTE_EXIT) != 0);
        woken.posted = woken.posted || happened[i].filter == EVFILT_USER;
    }
    return woken;
}

}  // namespace platform
