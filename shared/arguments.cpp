#include "shared/arguments.h"

#include <algorithm>

namespace arguments {

std::optional<std::string> value(const std::vector<std::string>& args, const std::string& option) {
    auto found = std::find(args.begin(), args.end(), option);
    if (found == args.end() || found + 1 == args.end()) {
        return std::nullopt;
    }
    return *(found + 1);
}

}  // namespace arguments
