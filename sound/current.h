// Reading what the default devices are now, with their settings.
#pragma once

#include "sound/settings.h"

#include <optional>

namespace sound {

// The default output and input with their settings; `others` absent. Never fails.
Settings current();

// One role: nothing without a default device; an output side always has a volume map.
std::optional<Side> side(Direction direction);

// A device's own settings now; layout and volume only for an output device. Never fails.
Side settingsOf(const std::string& uid, bool isOutput);

}  // namespace sound
