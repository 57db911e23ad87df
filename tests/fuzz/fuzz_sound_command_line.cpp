// Command lines of sorvane-sound: which mode runs, and which folder a folder mode takes. Nothing
// is created: the folder is only chosen here.
#include "fuzz_support.h"

#include "sound/command_line.h"

#include <algorithm>
#include <iterator>
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

void checkFolder(const std::vector<std::string>& args, const std::string& option) {
    auto folder = sound::folderArgument(args, option);
    auto first = std::find(args.begin(), args.end(), option);
    if (first == args.end() || std::next(first) == args.end()) {
        fuzz::require(!folder, "no folder when the option is missing or last");
        return;
    }
    fuzz::require(folder == *std::next(first), "the folder is the argument after the first occurrence");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto args = fuzz::arguments(data, size);
    sound::Mode chosen = sound::mode(args);

    // The chosen mode's option is present and no option earlier in the order is.
    bool reached = chosen == sound::Mode::none;
    for (const auto& [option, mode] : modes) {
        if (mode == chosen) {
            fuzz::require(present(args, option), "the chosen mode's option is present");
            reached = true;
            break;
        }
        fuzz::require(!present(args, option), "no earlier mode's option is present");
    }
    fuzz::require(reached, "the mode is one of the six or none");
    if (chosen == sound::Mode::none) {
        for (const auto& [option, mode] : modes) {
            fuzz::require(!present(args, option), "none only when no mode option is present");
        }
    }

    for (const char* option : {"--save", "--restore", "--switch"}) {
        checkFolder(args, option);
    }
    return 0;
}
