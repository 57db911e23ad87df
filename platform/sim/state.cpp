#include "sim/state.h"

#include "sim/call_log.h"
#include "sim/cf_objects.h"
#include "sim/io_thread.h"
#include "sim/testing.h"

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

void resetForTests() {
    State& s = state();
    std::vector<std::shared_ptr<IORun>> runs;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        for (auto& [id, aggregate] : s.aggregates) {
            for (auto& [proc, entry] : aggregate.procs) {
                if (entry.run) runs.push_back(entry.run);
            }
        }
    }
    for (const auto& run : runs) {
        stopRun(*run);
    }
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        s.aggregates.clear();
        s.taps.clear();
        s.tapsMade = 0;
        s.aggregatesMade = 0;
        s.file.reset();
    }
    log::reopen();
    cf::forgetOverReleases();
}

long stringsAlive() {
    return cf::stringsAlive();
}

long overReleases() {
    return cf::overReleases();
}

}  // namespace sim
