// Waiting for another process to end, on the platform's own process-exit event: a kqueue
// EVFILT_PROC/NOTE_EXIT on macOS, a pidfd on Linux. It wakes the moment the process is gone,
// where polling its id would notice only at the next look.
#pragma once

#include <sys/types.h>

namespace platform {

// Blocks until process `pid` has ended or `timeoutMs` milliseconds have passed (a negative
// timeout waits for ever). True when the process has ended or no longer exists. False after the
// timeout; false at once when the platform cannot watch that process.
bool waitForExit(pid_t pid, int timeoutMs);

}  // namespace platform
