#include "events.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

struct Events::Parts {
    int signals = -1;
    int process = -1;
    int posted = -1;
    int output = -1;    // not ours: watched, never closed
    bool gone = false;  // the process had already ended when the watch began
};

Events::Events(const sigset_t& signals, pid_t pid, int output) : parts_(std::make_unique<Parts>()) {
    // Only a pipe: a file or a terminal has no reader to lose, and a socket tells more than its end.
    struct stat about {};
    parts_->output = output >= 0 && ::fstat(output, &about) == 0 && S_ISFIFO(about.st_mode) ? output : -1;
    // A Mac's kqueue reports a signal only when it is generated after the filter exists; one
    // already pending is never told of. A signalfd would hand it over, so it is taken away first:
    // a program that relies on seeing it fails here as it would on a Mac.
    const timespec now{0, 0};
    while (::sigtimedwait(&signals, nullptr, &now) > 0) {
    }
    parts_->signals = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    parts_->posted = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    parts_->process = pid > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    parts_->gone = pid > 0 && parts_->process < 0 && errno == ESRCH;
}

Events::~Events() {
    for (int fd : {parts_->signals, parts_->process, parts_->posted}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool Events::complete() const {
    return parts_->signals >= 0 && parts_->posted >= 0 && (parts_->process >= 0 || parts_->gone);
}

void Events::post() {
    const std::uint64_t one = 1;
    ssize_t n;
    do {
        n = ::write(parts_->posted, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

Events::Woken Events::wait(int timeoutMs) {
    Woken woken;
    woken.exited = parts_->gone;
    // No events asked of the pipe: the writing end reports POLLERR once no reader is left.
    pollfd fds[4] = {{parts_->signals, POLLIN, 0},
                     {parts_->process, POLLIN, 0},
                     {parts_->posted, POLLIN, 0},
                     {parts_->output, 0, 0}};
    while (!woken.exited) {
        int ready = ::poll(fds, 4, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        signalfd_siginfo info;
        woken.signal = (fds[0].revents & POLLIN) != 0 && ::read(parts_->signals, &info, sizeof info) == sizeof info;
        // A pidfd is readable once its process has ended.
        woken.exited = (fds[1].revents & POLLIN) != 0;
        std::uint64_t count = 0;
        woken.posted = (fds[2].revents & POLLIN) != 0 && ::read(parts_->posted, &count, sizeof count) == sizeof count;
        woken.outputGone = (fds[3].revents & (POLLERR | POLLHUP)) != 0;
        if (woken.signal || woken.exited || woken.posted || woken.outputGone) {
            break;
        }
    }
    return woken;
}

}  // namespace platform
