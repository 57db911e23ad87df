#include "sound/snapshot.h"

#include "sound/current.h"
#include "sound/run.h"

#include <map>
#include <set>
#include <string>

namespace sound {

namespace {

// Per device, the volume elements the wanted record sets: the output and the further devices,
// the only sides whose volumes are applied.
std::map<std::string, std::set<std::string>> volumeKeys(const Settings& wanted) {
    std::map<std::string, std::set<std::string>> keys;
    auto add = [&](const Side& side) {
        for (const auto& [key, value] : side.volume.value_or(VolumeMap{})) {
            keys[side.uid].insert(key);
        }
    };
    if (wanted.output) {
        add(*wanted.output);
    }
    for (const Side& side : wanted.others.value_or(std::vector<Side>{})) {
        add(side);
    }
    return keys;
}

// A device's volume map is read as its main volume alone when it has one, yet it may have channel
// volumes too: those the wanted record sets join the map with their value now, or no restore
// could put them back.
void addVolumes(Side& side, const std::map<std::string, std::set<std::string>>& keys) {
    auto wanted = keys.find(side.uid);
    if (!side.volume || wanted == keys.end()) {
        return;  // not an output side: no volume of it is applied
    }
    for (const std::string& key : wanted->second) {
        if (side.volume->count(key) == 0) {
            if (auto value = system->volume(side.uid, key)) {
                (*side.volume)[key] = *value;
            }
        }
    }
}

}  // namespace

Settings snapshot(const Settings& base, const Settings& wanted) {
    Settings copy = base;
    auto heldAsOutput = [&](const std::string& uid) { return base.output && base.output->uid == uid; };
    auto heldAsInput = [&](const std::string& uid) { return base.input && base.input->uid == uid; };
    // Devices the base already carries further on are in the copy as they are.
    std::set<std::string> taken;
    for (const Side& side : base.others.value_or(std::vector<Side>{})) {
        taken.insert(side.uid);
    }

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

    const auto keys = volumeKeys(wanted);
    if (copy.output) {
        addVolumes(*copy.output, keys);
    }
    if (copy.others) {
        for (Side& side : *copy.others) {
            addVolumes(side, keys);
        }
    }
    return copy;
}

}  // namespace sound
