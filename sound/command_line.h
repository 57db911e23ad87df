// Which mode a command line of sorvane-sound asks for.
#pragma once

#include <string>
#include <vector>

namespace sound {

enum class Mode { backend, read, devices, save, restore, switchTo, none };

// The first mode, in that order, whose option is one of the arguments; none when there is none.
// Presence alone counts: options may stand anywhere, and arguments that are none are ignored.
Mode mode(const std::vector<std::string>& args);

}  // namespace sound
