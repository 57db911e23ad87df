#include "sim/state.h"

namespace sim {

State& state() {
    // Leaked: IO threads and the exit line may outlive static destruction.
    static State* s = new State;
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
    return machineFile().current();
}

}  // namespace sim
