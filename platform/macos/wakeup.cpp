#include "wakeup.h"

#include <mach/mach.h>

namespace platform {

struct Wakeup::Sleep {
    semaphore_t semaphore = MACH_PORT_NULL;
    bool made = false;
};

Wakeup::Wakeup() : sleep_(std::make_unique<Sleep>()) {
    sleep_->made = semaphore_create(mach_task_self(), &sleep_->semaphore, SYNC_POLICY_FIFO, 0) == KERN_SUCCESS;
}

Wakeup::~Wakeup() {
    if (sleep_->made) {
        semaphore_destroy(mach_task_self(), sleep_->semaphore);
    }
}

bool Wakeup::ready() const {
    return sleep_->made;
}

bool Wakeup::sleepWhileAsleep(int timeoutMs) {
    // The semaphore counts: a signal left over from an earlier wake returns at once, and the
    // caller looks at the state again.
    if (timeoutMs < 0) {
        return semaphore_wait(sleep_->semaphore) != KERN_OPERATION_TIMED_OUT;
    }
    mach_timespec_t limit{static_cast<unsigned>(timeoutMs / 1000), (timeoutMs % 1000) * 1000000};
    return semaphore_timedwait(sleep_->semaphore, limit) != KERN_OPERATION_TIMED_OUT;
}

void Wakeup::wakeSleeper() {
    semaphore_signal(sleep_->semaphore);
}

}  // namespace platform
