// What a command line of sorvane-sound asks for: the mode, and the folder of a folder mode.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sound {

enum class Mode { backend, read, devices, save, restore, switchTo, none };

// The first mode, in that order, whose option is one of the arguments; none when there is none.
// Presence alone counts: options may stand anywhere, and arguments that are none are ignored.
Mode mode(const std::vector<std::string>& args);

// The argument right after the first one equal to `option`, whatever it holds; nothing when
// `option` is missing or last.
std::optional<std::string> folderArgument(const std::vector<std::string>& args, const std::string& option);

}  // namespace sound
