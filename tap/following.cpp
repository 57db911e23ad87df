#include "tap/following.h"

#include "tap/processes.h"
#include "tap/run_state.h"

#include <algorithm>

namespace tap {

namespace {

// The same processes, in whatever order (a list holds each once).
bool sameSet(const std::vector<AudioObjectID>& a, const std::vector<AudioObjectID>& b) {
    return a.size() == b.size() && std::is_permutation(a.begin(), a.end(), b.begin());
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

// Identifiers are only added: one whose processes have gone taps nothing until they come back.
void followBundles() {
    const std::vector<std::string> named = description->bundleIDs();
    std::vector<std::string> grown = named;
    for (const std::string& id : bundleIdentifiersOf(*bundleID)) {
        if (std::find(grown.begin(), grown.end(), id) == grown.end()) {
            grown.push_back(id);
        }
    }
    if (grown.size() == named.size()) {
        return;
    }
    description->setBundleIDs(grown);
    if (apple::writeTapDescription(tap, *description) != 0) {
        description->setBundleIDs(named);
    }
}

}  // namespace

bool follows() {
    return bundleID.has_value();
}

bool namesProcesses() {
    return !bundleID || deviceUID || !apple::bundleTapsAvailable();
}

std::vector<std::string> bundleIdentifiersOf(const std::string& bundle) {
    std::vector<std::string> ids = {bundle};
    for (const AudioProcess& process : processesOf(bundle)) {
        if (std::find(ids.begin(), ids.end(), process.bundleID) == ids.end()) {
            ids.push_back(process.bundleID);
        }
    }
    return ids;
}

void followApplication() {
    if (!follows()) {
        return;
    }
    if (namesProcesses()) {
        followProcesses();
    } else {
        followBundles();
    }
}

}  // namespace tap
