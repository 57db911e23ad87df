// Command lines of sorvane-sound: which mode runs, and which folder a folder mode takes. Nothing
// is created: the folder is only chosen here.
#include "fuzz_support.h"

#include "shared/arguments.h"
#include "sound/command_line.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::vector<std::pair<std::string, sound::Mode>> modes = {
    {"--backend", sound::Mode::backend}, {"--read", sound::Mode::read},       {"--devices", sound::Mode::devices},
    {"--save", sound::Mode::save},       {"--restore", sound::Mode::restore}, {"--switch", sound::Mode::switchTo},
};

bool present(const std::vector<std::string>& args, const std::string& option) {
    return std::find(args.begin(), args.end(), option) != args.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto args = fuzz::arguments(data, size);
    sound::Mode chosen = sound::mode(args);
    bool anyOption = false;
    for (const auto& [option, mode] : modes) {
        anyOption = anyOption || present(args, option);
        fuzz::require(mode != chosen || present(args, option), "the chosen mode's option is present");
    }
    fuzz::require((chosen == sound::Mode::none) == !anyOption, "a mode is chosen exactly when one is asked for");

    // A folder, when there is one, is an argument that follows the option.
    for (const char* option : {"--save", "--restore", "--switch"}) {
        auto folder = arguments::value(args, option);
        bool follows = false;
        for (std::size_t i = 1; folder && i < args.size(); ++i) {
            follows = follows || (args[i - 1] == option && args[i] == *folder);
        }
        fuzz::require(!folder || follows, "the folder follows its option");
        fuzz::require(folder || !present(args, option) || args.back() == option, "an option not last has a folder");
    }
    return 0;
}
