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

const Machine& State::machine() {
    return machineFile().current();
}

}  // namespace sim
