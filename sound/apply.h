// Making the devices take the settings of a record, setting by setting.
#pragma once

#include "shared/json.h"
#include "sound/settings.h"
#include "sound/unsettled.h"

#include <optional>
#include <string>
#include <vector>

namespace sound {

// What applying did: sentences for the reports' "applied" and "skipped", in the order of work, and
// the skipped defaults and rates that the platform took but the devices had not shown in time.
struct Applied {
    std::vector<std::string> done;
    std::vector<std::string> skipped;
    Unsettled unsettled;
};

// The report's "type" with its "applied" and "skipped" members.
json::Object appliedReport(const std::string& type, const Applied& applied);

// Applies `others` (no default touched), then the output, then the input. Never stops early. The
// `forced` defaults and rates are written even where reads show them in place, each once.
Applied applyAll(const Settings& settings, Unsettled forced = {});

// Applies one side; with a role it is also made that role's default. Changes only what differs,
// and what `forced` names (taking it out), and adds one sentence per attempted change, or one
// ": not connected" for a missing device.
void apply(std::optional<Direction> role, const std::optional<Side>& side, Applied& applied, Unsettled& forced);

// The rate as the sentences give it: the whole-number part in decimal with " Hz", the fraction
// cut off ("48000 Hz" for 48000.7); "a rate that isn't a number" for NaN and the infinities.
std::string rateText(double rate);

}  // namespace sound
