#include "wakeup.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

struct Wakeup::Sleep {};

Wakeup::Wakeup() = default;
Wakeup::~Wakeup() = default;

bool Wakeup::ready() const {
    return true;  // a futex needs nothing made
}

bool Wakeup::sleepWhileAsleep(int timeoutMs) {
    timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    // Returns at once when the state is no longer 2; an interrupted sleep is looked at again.
    long r = ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&state_), FUTEX_WAIT_PRIVATE, 2,
                       timeoutMs < 0 ? nullptr : &limit, nullptr, 0);
    return !(r < 0 && errno == ETIMEDOUT);
}

void Wakeup::wakeSleeper() {
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&state_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

}  // namespace platform
