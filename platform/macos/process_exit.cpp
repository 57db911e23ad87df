#include "process_exit.h"

#include <cerrno>
#include <sys/event.h>
#include <unistd.h>

namespace platform {

bool waitForExit(pid_t pid, int timeoutMs) {
    if (pid <= 0) {
        return false;
    }
    const int queue = ::kqueue();
    if (queue < 0) {
        return false;
    }
    struct kevent change;
    EV_SET(&change, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
    timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    struct kevent event;
    int ready;
    do {
        ready = ::kevent(queue, &change, 1, &event, 1, timeoutMs < 0 ? nullptr : &limit);
    } while (ready < 0 && errno == EINTR);
    const int failure = ready < 0 ? errno : 0;
    ::close(queue);
    // Registering on a process that has already ended fails with ESRCH.
    if (ready < 0) {
        return failure == ESRCH;
    }
    if (ready > 0 && (event.flags & EV_ERROR) != 0) {
        return event.data == ESRCH;
    }
    return ready > 0 && (event.fflags & NOTE_EXIT) != 0;
}

}  // namespace platform
