#include "sim/testing.h"

#include "sim/call_log.h"
#include "sim/cf_objects.h"
#include "sim/io_thread.h"
#include "sim/notifications.h"
#include "sim/state.h"

namespace sim {

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
        s.ownNotificationThread = false;
        s.firstView.reset();
        s.pending.clear();
        s.restartsSeen.reset();
    }
    notify::forget();
    log::reopen();
    cf::forgetOverReleases();
}

long stringsAlive() {
    return cf::stringsAlive();
}

long overReleases() {
    return cf::overReleases();
}

void afterNextSizeQuery(void (*then)()) {
    state().afterSizeQuery = then;
}

}  // namespace sim
