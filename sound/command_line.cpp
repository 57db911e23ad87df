#include "sound/command_line.h"

#include <algorithm>
#include <utility>

namespace sound {

Mode mode(const std::vector<std::string>& args) {
    // "--restore" before "--switch": a host that names both gets the safe one.
    static const std::pair<const char*, Mode> order[] = {
        {"--backend", Mode::backend}, {"--read", Mode::read},       {"--devices", Mode::devices},
        {"--save", Mode::save},       {"--restore", Mode::restore}, {"--switch", Mode::switchTo},
    };
    for (const auto& [option, chosen] : order) {
        if (std::find(args.begin(), args.end(), option) != args.end()) {
            return chosen;
        }
    }
    return Mode::none;
}

}  // namespace sound
