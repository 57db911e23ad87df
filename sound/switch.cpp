#include "sound/switch.h"

#include "shared/report.h"
#include "sound/apply.h"
#include "sound/current.h"
#include "sound/files.h"
#include "sound/hold.h"
#include "sound/match.h"
#include "sound/run.h"
#include "sound/snapshot.h"

#include <csignal>
#include <ctime>
#include <string>

namespace sound {

namespace {

// The moment of the switch in ISO 8601 internet form, UTC: 2026-03-14T09:26:53Z.
std::string now() {
    std::time_t seconds = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

// True when the host's further devices already have everything it asks of them; one that is not
// connected does not match, as for a role.
bool othersMatch(const Settings& wanted) {
    for (const Side& other : wanted.others.value_or(std::vector<Side>{})) {
        bool isOutput = system->exists(other.uid, Direction::output);
        bool connected = isOutput || system->exists(other.uid, Direction::input);
        if (!connected || !matches(settingsOf(other.uid, isOutput), other)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void runSwitch() {
    // Before anything else, and before any thread: a signal from here on waits for the hold.
    sigset_t signals = blockEndingSignals();

    Files folder = files("--switch");
    auto wanted = folder.load(folder.sorvane());
    if (!wanted) {
        report::fail("Sorvane's sound isn't set up yet");
    }
    Settings present = current();
    // Already as wanted, the further devices too: the snapshot in the folder still holds what came before.
    bool kept = matches(present.output, wanted->output) && matches(present.input, wanted->input) &&
                othersMatch(*wanted);
    if (!kept && !folder.save(snapshot(present, *wanted), folder.snapshot())) {
        report::fail("couldn't keep your settings, so nothing was changed");
    }
    if (!folder.write(now(), folder.mark())) {
        report::fail("couldn't mark the switch, so nothing was changed");
    }
    Applied applied = applyAll(*wanted);
    json::Object switched = appliedReport("switched", applied);
    switched["snapshot"] = kept ? "kept" : "taken";
    report::say(switched);
    hold(folder, signals);
}

}  // namespace sound
