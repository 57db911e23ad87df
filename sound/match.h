// Whether settings are already in place: the one rule behind the switch's "kept" and behind what
// applying leaves alone.
#pragma once

#include "sound/settings.h"

#include <optional>
#include <string>

namespace sound {

// One setting read now against the wanted one: a rate within 0.5 Hz (none now counts as 0), a
// layout of the same text, a channel's volume within 0.001 (none now counts as -1). A value that
// is not a number is never in place.
bool rateInPlace(const std::optional<double>& now, double wanted);
bool layoutInPlace(const std::optional<std::string>& now, const std::string& wanted);
bool volumeInPlace(const std::optional<double>& now, double wanted);

// True when the side now already has everything the wanted side asks for, by the rule above and
// the same UID; true when nothing is wanted.
bool matches(const std::optional<Side>& now, const std::optional<Side>& wanted);

}  // namespace sound
