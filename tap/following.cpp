#include "tap/following.h"

#include "tap/processes.h"
#include "tap/run_state.h"

#include <algorithm>
#include <vector>

namespace tap {

namespace {

bool sameSet(std::vector<AudioObjectID> a, std::vector<AudioObjectID> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

}  // namespace

bool followsProcesses() {
    return bundleID && (deviceUID || !apple::bundleTapsAvailable());
}

void followProcesses() {
    std::vector<AudioObjectID> now;
    for (const AudioProcess& process : processesOf(*bundleID)) {
        now.push_back(process.object);
    }
    const std::vector<AudioObjectID> named = description->processes();
    if (now.empty() || sameSet(now, named)) {
        return;
    }
    // The same description otherwise (its UUID, name, privacy, mute behaviour, stream), so the
    // tap stays the aggregate device's and its format stays.
    description->setProcesses(now);
    if (apple::writeTapDescription(tap, *description) != 0) {
        description->setProcesses(named);
    }
}

}  // namespace tap
