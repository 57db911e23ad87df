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
#include <optional>
#include <string>
#include <utility>

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

// The snapshot of a switch that was never restored, with the changes it left unsettled: its mark
// is still in the folder (a killed hold, a machine that went down). Nothing when there is no mark
// or no readable snapshot.
std::optional<std::pair<Settings, Unsettled>> unrestored(const Files& folder) {
    if (!folder.marked()) {
        return std::nullopt;
    }
    return folder.loadSnapshot();
}

}  // namespace

void runSwitch() {
    // Before anything else, the first platform call included: the platform's own threads are born
    // with this mask, so a signal from here on can only wait for the hold.
    sigset_t signals = blockEndingSignals();
    talkToPlatform();

    Files folder = files("--switch");
    auto wanted = folder.load(folder.sorvane());
    if (!wanted) {
        report::fail("Sorvane's sound isn't set up yet");
    }
    bool kept = true;
    Settings taken;
    Unsettled unsettled;
    if (auto earlier = unrestored(folder)) {
        // The devices stand as that switch left them, so only its snapshot knows the user's own
        // settings; it grows by the devices this switch touches first, read as they are now.
        unsettled = earlier->second;
        taken = snapshot(earlier->first, *wanted);
        if (taken != earlier->first && !folder.saveSnapshot(taken, unsettled)) {
            report::fail("couldn't keep your settings, so nothing was changed");
        }
    } else {
        Settings present = current();
        // Already as wanted, the further devices too: this switch changes nothing. The snapshot
        // in the folder was put back by the last restore, and the user may have chosen otherwise
        // since, so it is renewed all the same: the restore is to leave things as they are now.
        kept = matches(present.output, wanted->output) && matches(present.input, wanted->input) &&
               othersMatch(*wanted);
        taken = snapshot(present, *wanted);
        if (!folder.saveSnapshot(taken, {})) {
            report::fail("couldn't keep your settings, so nothing was changed");
        }
    }
    if (!folder.write(now(), folder.mark())) {
        report::fail("couldn't mark the switch, so nothing was changed");
    }
    Applied applied = applyAll(*wanted);
    Unsettled all = unsettled;
    all.add(applied.unsettled);
    if (all != unsettled) {
        // Noted for a "--restore" after a killed hold, before the host can take the report as
        // its cue. The hold's own restore knows them anyway, so a failed write changes nothing.
        folder.saveSnapshot(taken, all);
    }
    json::Object switched = appliedReport("switched", applied);
    switched["snapshot"] = kept ? "kept" : "taken";
    report::say(switched);
    hold(folder, signals, all);
}

}  // namespace sound
