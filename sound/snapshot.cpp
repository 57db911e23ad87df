#include "sound/snapshot.h"

#include "sound/current.h"
#include "sound/run.h"

#include <set>
#include <string>

namespace sound {

Settings snapshot(const Settings& now, const Settings& wanted) {
    Settings copy = now;
    auto heldAsOutput = [&](const std::string& uid) { return now.output && now.output->uid == uid; };
    auto heldAsInput = [&](const std::string& uid) { return now.input && now.input->uid == uid; };
    std::set<std::string> taken;

    auto consider = [&](const std::optional<Side>& side, Direction role) {
        if (!side) {
            return;
        }
        const std::string& uid = side->uid;
        if (taken.count(uid)) {
            return;  // wanted both as output and as input: recorded once
        }
        bool isOutput;
        if (heldAsOutput(uid) || heldAsInput(uid)) {
            // A device held only as the default input carries no layout or volume in the copy,
            // yet becoming the default output changes both; without an entry they would be lost.
            if (role != Direction::output || heldAsOutput(uid) || !system->exists(uid, Direction::output)) {
                return;
            }
            isOutput = true;
        } else {
            isOutput = system->exists(uid, Direction::output);
            if (!isOutput && !system->exists(uid, Direction::input)) {
                return;  // not connected: the switch will not touch it
            }
        }
        taken.insert(uid);
        if (!copy.others) {
            copy.others.emplace();
        }
        copy.others->push_back(settingsOf(uid, isOutput));
    };
    consider(wanted.output, Direction::output);
    consider(wanted.input, Direction::input);
    // The host's own further devices are changed by the switch as well, layout and volume
    // included for an output device; without their entries the restore could not put them back.
    if (wanted.others) {
        for (const auto& side : *wanted.others) {
            consider(side, Direction::output);
        }
    }
    return copy;
}

}  // namespace sound
