#include "process_exit.h"

#include <cerrno>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool waitForExit(pid_t pid, int timeoutMs) {
    if (pid <= 0) {
        return false;
    }
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        // No such process: it has already ended (and been reaped).
        return errno == ESRCH;
    }
    pollfd watched{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&watched, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    ::close(fd);
    // A pidfd becomes readable when its process ends.
    return ready > 0 && (watched.revents & POLLIN) != 0;
}

}  // namespace platform
