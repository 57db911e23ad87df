// IO procedures of aggregate devices: registration, start, stop and removal, each logged.
#include "sim/call_log.h"
#include "sim/io_thread.h"
#include "sim/objects.h"
#include "sim/state.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

using namespace sim;

// The aggregate device, or the status that says why there is none. Devices from the machine file
// have no IO here: only taps make sound in this machine.
Aggregate* aggregateOf(State& s, AudioObjectID device, OSStatus& status) {
    const auto found = s.aggregates.find(device);
    if (found != s.aggregates.end()) return &found->second;
    status = ids::resolve(s.machine(), device).kind == ids::Ref::Kind::device ? kAudioHardwareUnsupportedOperationError
                                                                              : kAudioHardwareBadDeviceError;
    return nullptr;
}

void logCall(const char* fn, AudioObjectID device, OSStatus status) {
    auto entry = log::property(fn, device, nullptr);
    entry["status"] = status;
    log::write(entry);
}

// Stops the procedure's run, if any, without holding the state lock while the thread ends.
RunTotals stopEntry(State& s, AudioObjectID device, AudioDeviceIOProcID proc) {
    std::shared_ptr<IORun> run;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const auto aggregate = s.aggregates.find(device);
        if (aggregate == s.aggregates.end()) return {};
        const auto entry = aggregate->second.procs.find(proc);
        if (entry == aggregate->second.procs.end()) return {};
        run = entry->second.run;
    }
    if (!run) return {};
    const RunTotals totals = stopRun(*run);
    std::lock_guard<std::mutex> hold(s.mutex);
    const auto aggregate = s.aggregates.find(device);
    if (aggregate != s.aggregates.end()) {
        const auto entry = aggregate->second.procs.find(proc);
        if (entry != aggregate->second.procs.end() && entry->second.run == run) entry->second.run.reset();
    }
    return totals;
}

// Threads inside an AudioDeviceStart that waits for sound.
std::atomic<int> startsWaiting{0};

// On a Mac the process's exit-time destructors would run under the HAL while it is inside that
// call, which ends in a crash; here the process aborts, the call log left without its exit line.
void exitedWhileAStartWaits() {
    if (startsWaiting.load() > 0) {
        static const char line[] = "simulated machine: the process ended while AudioDeviceStart was still waiting\n";
        (void)!::write(2, line, sizeof line - 1);
        std::abort();
    }
}

// Counts a thread as waiting in AudioDeviceStart for as long as it lives.
struct StartWaits {
    StartWaits() {
        static std::once_flag arranged;
        // Registered after the call log's own exit handler, so it runs before that one.
        std::call_once(arranged, [] { std::atexit(exitedWhileAStartWaits); });
        startsWaiting.fetch_add(1);
    }
    ~StartWaits() { startsWaiting.fetch_sub(1); }
    StartWaits(const StartWaits&) = delete;
    StartWaits& operator=(const StartWaits&) = delete;
};

}  // namespace

extern "C" {

OSStatus AudioDeviceCreateIOProcID(AudioObjectID inDevice, AudioDeviceIOProc inProc, void* inClientData,
                                   AudioDeviceIOProcID* outIOProcID) {
    State& s = state();
    OSStatus status = 0;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Machine& m = s.machine();
        if (Aggregate* aggregate = aggregateOf(s, inDevice, status)) {
            if (const auto fault = m.tap.fault("ioproc")) {
                status = *fault;
            } else if (inProc == nullptr || outIOProcID == nullptr || aggregate->procs.count(inProc) != 0) {
                status = kAudioHardwareIllegalOperationError;
            } else {
                // The procedure itself serves as its identifier.
                aggregate->procs[inProc] = IOProcEntry{inClientData, nullptr};
                *outIOProcID = inProc;
            }
        }
    }
    logCall("AudioDeviceCreateIOProcID", inDevice, status);
    return status;
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID) {
    State& s = state();
    OSStatus status = 0;
    std::shared_ptr<IORun> run;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        if (Aggregate* aggregate = aggregateOf(s, inDevice, status)) {
            const auto found = aggregate->procs.find(inIOProcID);
            if (found == aggregate->procs.end()) {
                status = kAudioHardwareIllegalOperationError;
            } else {
                run = found->second.run;
                aggregate->procs.erase(found);
            }
        }
    }
    if (run) stopRun(*run);  // a procedure still started stops first
    logCall("AudioDeviceDestroyIOProcID", inDevice, status);
    return status;
}

OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
    State& s = state();
    OSStatus status = 0;
    std::optional<StartWaits> counted;
    std::optional<std::uint64_t> restartsBefore;  // the service's restarts when the wait began
    for (bool waiting = true; waiting;) {
        waiting = false;
        {
            std::lock_guard<std::mutex> hold(s.mutex);
            const Machine& m = s.machine();
            if (restartsBefore && s.restartsSeen != restartsBefore) {
                // The header does not say that a restart ends the wait; the stricter reading is
                // that it never does: the device it waits on is gone, and the call waits on.
                waiting = true;
            } else if (Aggregate* aggregate = aggregateOf(s, inDevice, status)) {
                const auto entry = aggregate->procs.find(inProcID);
                if (const auto fault = m.tap.fault("start")) {
                    status = *fault;
                } else if (entry == aggregate->procs.end()) {
                    status = kAudioHardwareIllegalOperationError;
                } else if (!entry->second.run) {
                    std::vector<std::pair<AudioObjectID, const CATapDescription*>> taps;
                    bool playing = false;
                    for (AudioObjectID tap : aggregate->taps) {
                        if (const auto found = s.taps.find(tap); found != s.taps.end()) {
                            taps.emplace_back(tap, &found->second);
                            playing = playing || !tapSignal(m, found->second).levels.empty();
                        }
                    }
                    // "tapautostart": the start waits until a tapped process plays, as the header says.
                    waiting = aggregate->tapAutoStart && !playing;
                    if (!waiting) {
                        entry->second.run = startRun(inDevice, inProcID, entry->second.client, m, taps);
                        if (!entry->second.run) status = kAudioHardwareUnspecifiedError;
                    }
                }
            }
            if (waiting && !restartsBefore) restartsBefore = s.restartsSeen;
        }
        // Not holding the state meanwhile; the next look reads the machine file again.
        if (waiting) {
            if (!counted) counted.emplace();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    logCall("AudioDeviceStart", inDevice, status);
    return status;
}

OSStatus AudioDeviceStop(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
    State& s = state();
    OSStatus status = 0;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        if (Aggregate* aggregate = aggregateOf(s, inDevice, status)) {
            if (aggregate->procs.count(inProcID) == 0) status = kAudioHardwareIllegalOperationError;
        }
    }
    // Returns only after the cycle in progress has returned.
    const RunTotals totals = status == 0 ? stopEntry(s, inDevice, inProcID) : RunTotals{};
    auto entry = log::property("AudioDeviceStop", inDevice, nullptr);
    entry["status"] = status;
    entry["cycles"] = totals.cycles;
    entry["procAllocations"] = totals.procAllocations;
    entry["procIOCalls"] = totals.ioCalls;
    entry["longestCallNs"] = totals.longestCallNs;
    log::write(entry);
    return status;
}

}  // extern "C"
