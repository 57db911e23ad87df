// The simulated layer's process-wide state: the machine file, and the taps, aggregate devices and
// IO procedures this process made. One mutex guards it all; it is never held while an IO
// procedure runs.
#pragma once

#include "sim/machine.h"
#include "sim/machine_file.h"
#include "sim/taps.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct IORun;

struct IOProcEntry {
    void* client = nullptr;
    std::shared_ptr<IORun> run;  // while started
};

struct Aggregate {
    std::string uid;
    std::string name;
    bool isPrivate = false;
    bool stacked = false;
    bool tapAutoStart = false;
    std::vector<AudioObjectID> taps;
    std::map<AudioDeviceIOProcID, IOProcEntry> procs;
};

// The devices as a process first saw them: what it keeps seeing while the platform's notifications
// wait for a run loop that never runs.
struct DeviceView {
    std::vector<std::string> uids;
    std::optional<std::string> output;
    std::optional<std::string> input;
};

// A change written but not yet showing ("setDelayMs"): reads give `bytes` until `shows`.
struct Pending {
    std::vector<std::uint8_t> bytes;
    std::chrono::steady_clock::time_point shows;
};

struct State {
    std::mutex mutex;
    std::optional<MachineFile> file;
    std::map<AudioObjectID, CATapDescription> taps;
    std::map<AudioObjectID, Aggregate> aggregates;
    AudioObjectID tapsMade = 0;
    AudioObjectID aggregatesMade = 0;
    std::atomic<void (*)()> afterSizeQuery{nullptr};  // a test's hook: see testing.h
    bool ownNotificationThread = false;  // 'rnlp' set to NULL
    std::optional<DeviceView> firstView;
    std::map<std::pair<AudioObjectID, AudioObjectPropertySelector>, Pending> pending;
    std::optional<std::uint64_t> restartsSeen;  // the service restarts this process knows of

    // The machine as its file holds it now, loading it on first use. A service restart seen here
    // takes away this process's taps and aggregate devices. Hold `mutex`.
    const Machine& machine();
    // The machine file, chosen on first use. Hold `mutex`.
    MachineFile& machineFile();
    // The device list, UID translation and defaults this process sees: nothing while they follow
    // the file, else the view it first read. Hold `mutex`.
    const DeviceView* deviceView();
};

State& state();

}  // namespace sim
