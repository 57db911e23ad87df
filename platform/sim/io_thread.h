// A started IO procedure: its thread and the audio it delivers.
#pragma once

#include "sim/machine.h"
#include "sim/taps.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

struct IORun;

struct RunTotals {
    std::uint64_t cycles = 0;
    std::uint64_t procAllocations = 0;  // operator new calls made inside the procedure
    std::int64_t ioCalls = -1;          // read and write system calls on the IO thread; -1 unknown
    std::int64_t longestCallNs = 0;     // the procedure's longest cycle
};

// Starts a thread that calls `proc` once per cycle with the audio of the taps; nothing when the
// thread cannot be started.
std::shared_ptr<IORun> startRun(AudioObjectID device, AudioDeviceIOProc proc, void* client, const Machine& machine,
                                const std::vector<const CATapDescription*>& taps);

// Stops the thread and waits until the cycle in progress has returned; no call follows. Safe to
// call more than once and from several threads.
RunTotals stopRun(IORun& run);

// Has the thread end after the cycle in progress, without waiting for it.
void haltRun(IORun& run);

// Halts the run and lets its thread go: nobody waits for it, and it ends by itself.
void abandonRun(IORun& run);

// The cycles delivered so far: the number of the cycle about to come.
std::uint64_t cyclesSoFar(const IORun& run);

}  // namespace sim
