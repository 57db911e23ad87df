// A started IO procedure: its thread and the audio it delivers.
#pragma once

#include "sim/machine.h"
#include "sim/taps.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace sim {

struct IORun;

struct RunTotals {
    std::uint64_t cycles = 0;
    std::uint64_t procAllocations = 0;  // operator new calls made inside the procedure
    std::int64_t ioCalls = -1;          // read and write system calls on the IO thread; -1 unknown
    std::int64_t longestCallNs = 0;     // the procedure's longest cycle
};

// Starts a thread that calls `proc` once per cycle with the audio of the taps (by identifier),
// and one that follows the machine file's processes into that audio; nothing when the IO thread
// cannot be started.
std::shared_ptr<IORun> startRun(AudioObjectID device, AudioDeviceIOProc proc, void* client, const Machine& machine,
                                const std::vector<std::pair<AudioObjectID, const CATapDescription*>>& taps);

// Has the run play, from its next cycle, what its taps hear in this machine with these
// descriptions, when that has changed. Hold the state's mutex.
void followMachine(IORun& run, const Machine& machine, const std::map<AudioObjectID, CATapDescription>& taps);

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
