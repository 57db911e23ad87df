#include "sim/state.h"

#include "sim/io_thread.h"
#include "sim/notifications.h"

namespace sim {

State& state() {
    // Leaked: IO threads and the exit line may outlive static destruction.
    static State* s = new State;
    notify::begin();
    return *s;
}

MachineFile& State::machineFile() {
    if (!file) {
        file.emplace(chooseMachinePath());
    }
    return *file;
}

const DeviceView* State::deviceView() {
    if (ownNotificationThread) {
        return nullptr;
    }
    if (!firstView) {
        const Machine& m = machine();
        DeviceView view{{}, m.defaultOutput, m.defaultInput};
        for (const Device& d : m.devices) view.uids.push_back(d.uid);
        firstView = std::move(view);
    }
    return &*firstView;
}

const Machine& State::machine() {
    const Machine& m = machineFile().current();
    if (!restartsSeen || m.restarts < *restartsSeen) {
        restartsSeen = m.restarts;
    } else if (m.restarts > *restartsSeen) {
        // What the service held for this process is gone: its IO stops after the cycle in
        // progress, and its taps and aggregate devices answer '!obj' from now on.
        restartsSeen = m.restarts;
        for (auto& [id, aggregate] : aggregates) {
            for (auto& [proc, entry] : aggregate.procs) {
                if (entry.run) abandonRun(*entry.run);
            }
        }
        aggregates.clear();
        taps.clear();
        pending.clear();
        // The device list is told as changed in the same call, which a listener must look through.
        notify::post(kAudioObjectSystemObject,
                     {kAudioHardwarePropertyDevices, kAudioHardwarePropertyServiceRestarted});
    }
    return m;
}

}  // namespace sim
