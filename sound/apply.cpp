#include "sound/apply.h"

#include "sound/match.h"
#include "sound/run.h"

#include <cmath>
#include <cstdio>

namespace sound {

json::Object appliedReport(const std::string& type, const Applied& applied) {
    return {{"type", type},
            {"applied", json::Array(applied.done.begin(), applied.done.end())},
            {"skipped", json::Array(applied.skipped.begin(), applied.skipped.end())}};
}

std::string rateText(double rate) {
    if (!std::isfinite(rate)) {
        return "a rate that isn't a number";
    }
    double whole = std::trunc(rate);
    if (whole == 0) {
        whole = 0;  // no "-0" for a small negative rate
    }
    // "%.0f" of a whole double is its exact decimal, also beyond the 64-bit integers.
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", whole);
    return std::string(buffer) + " Hz";
}

void apply(std::optional<Direction> role, const std::optional<Side>& side, Applied& applied, Unsettled& forced) {
    if (!side) {
        return;
    }
    const std::string& uid = side->uid;
    std::string label = side->name.value_or(uid);
    if (role) {
        label = "the " + std::string(text(*role)) + " " + label;
    }
    auto record = [&](bool ok, const std::string& entry) { (ok ? applied.done : applied.skipped).push_back(entry); };
    // A change that shows late is recorded by whether it showed; true when it may still land.
    auto recordLate = [&](Written written, const std::string& entry) {
        record(written == Written::shown, entry);
        return written == Written::unseen;
    };

    bool isOutput = system->exists(uid, Direction::output);
    if (role) {
        if (!system->exists(uid, *role)) {
            applied.skipped.push_back(label + ": not connected");
            return;
        }
        // A forced one is written even when reads show it: an earlier write may still land on it.
        if (forced.defaults.erase(*role) > 0 || system->defaultUID(*role) != uid) {
            if (recordLate(system->setDefault(*role, uid), label + " as the default")) {
                applied.unsettled.defaults.insert(*role);
            }
        }
    } else if (!isOutput && !system->exists(uid, Direction::input)) {
        applied.skipped.push_back(label + ": not connected");
        return;
    }

    if (side->rate && (forced.rates.erase(uid) > 0 || !rateInPlace(system->rate(uid), *side->rate))) {
        if (recordLate(system->setRate(uid, *side->rate), label + " at " + rateText(*side->rate))) {
            applied.unsettled.rates.insert(uid);
        }
    }
    // Layouts and volumes are output settings only.
    if (role == Direction::input || (!role && !isOutput)) {
        return;
    }
    if (side->layout && !layoutInPlace(system->layout(uid), *side->layout)) {
        record(system->setLayout(uid, *side->layout), label + "'s channel layout");
    }
    if (side->volume) {
        // The map's order is the ascending text order of the channel keys.
        for (const auto& [key, value] : *side->volume) {
            // The channel's own element, read afresh: a device's volume map holds its main volume
            // alone when it has one, although its channels may have volumes of their own.
            if (!volumeInPlace(system->volume(uid, key), value)) {
                record(system->setVolume(uid, key, value), label + "'s volume");
            }
        }
    }
}

Applied applyAll(const Settings& settings, Unsettled forced) {
    Applied applied;
    if (settings.others) {
        for (const auto& side : *settings.others) {
            apply(std::nullopt, side, applied, forced);
        }
    }
    apply(Direction::output, settings.output, applied, forced);
    apply(Direction::input, settings.input, applied, forced);
    return applied;
}

}  // namespace sound
