// What a switch must keep so that the restore can put it back, and whether it has anything to do.
#pragma once

#include "sound/settings.h"

#include <optional>

namespace sound {

// True when the side now already has everything the wanted side asks for (rates within 0.5 Hz,
// volumes within 0.001, same UID and layout text); true when nothing is wanted.
bool matches(const std::optional<Side>& now, const std::optional<Side>& wanted);

// The current record plus, in `others`, the own settings of every connected device the wanted
// record will touch that the current record does not already carry. Never fails.
Settings snapshot(const Settings& now, const Settings& wanted);

}  // namespace sound
