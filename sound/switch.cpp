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
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

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

// The snapshot of a switch that was never restored: its mark is still in the folder (a killed
// hold, a machine that went down). Nothing when there is no mark or no readable snapshot.
std::optional<Settings> unrestored(const Files& folder) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder.mark(), error))) {
        return std::nullopt;
    }
    return folder.load(folder.snapshot());
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
    if (auto earlier = unrestored(folder)) {
        // The devices stand as that switch left them, so only its snapshot knows the user's own
        // settings; it grows by the devices this switch touches first, read as they are now.
        Settings grown = snapshot(*earlier, *wanted);
        if (grown != *earlier && !folder.save(grown, folder.snapshot())) {
            report::fail("couldn't keep your settings, so nothing was changed");
        }
    } else {
        Settings present = current();
        // Already as wanted, the further devices too: the snapshot in the folder still holds what came before.
        kept = matches(present.output, wanted->output) && matches(present.input, wanted->input) &&
               othersMatch(*wanted);
        if (!kept && !folder.save(snapshot(present, *wanted), folder.snapshot())) {
            report::fail("couldn't keep your settings, so nothing was changed");
        }
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
