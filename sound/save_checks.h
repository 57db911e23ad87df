// The checks of the host's settings line before it is kept.
#pragma once

#include "sound/settings.h"

#include <optional>
#include <string>

namespace sound {

// The message of the record's first fault: neither side; then per side, output first, its
// device (asking `system` whether it is connected), rate, layout, volume. Nothing when it passes.
std::optional<std::string> firstProblem(const Settings& settings);

}  // namespace sound
