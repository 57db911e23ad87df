// The command line as both programs read it: options may stand anywhere.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace arguments {

// The argument right after the first one equal to `option`, whatever it holds; nothing when
// `option` is missing or stands last.
std::optional<std::string> value(const std::vector<std::string>& args, const std::string& option);

}  // namespace arguments
