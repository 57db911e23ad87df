// The command line read as a pure function: which mode, and which folder.
#include "sound/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using sound::Mode;

TEST(CommandLine, FirstModeInTheFixedOrderWins) {
    struct Case {
        std::vector<std::string> args;
        Mode mode;
    };
    const Case cases[] = {
        {{}, Mode::none},
        {{"sorvane-sound"}, Mode::none},
        {{"sorvane-sound", "--Read", "-read", "read", "--read=1"}, Mode::none},
        {{"sorvane-sound", "--switch", "dir", "--backend"}, Mode::backend},
        {{"sorvane-sound", "--devices", "--read"}, Mode::read},
        {{"sorvane-sound", "--save", "--devices"}, Mode::devices},
        {{"sorvane-sound", "x", "--save"}, Mode::save},
        {{"sorvane-sound", "--switch", "a", "--restore", "b"}, Mode::restore},
        {{"sorvane-sound", "--switch"}, Mode::switchTo},
        {{"--read"}, Mode::read},  // the program path is an argument like any other
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sound::mode(c.args), c.mode) << ::testing::PrintToString(c.args);
    }
}

TEST(CommandLine, FolderIsTheArgumentAfterTheFirstOccurrence) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {{"sorvane-sound", "--save", "a", "--save", "b"}, "a"},
        {{"sorvane-sound", "--save", "--switch"}, "--switch"},
        {{"sorvane-sound", "--save", ""}, ""},
        {{"sorvane-sound", "--save"}, std::nullopt},
        {{"sorvane-sound", "--save", "a", "--save"}, "a"},
        {{"sorvane-sound", "--read", "a"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sound::folderArgument(c.args, "--save"), c.folder) << ::testing::PrintToString(c.args);
    }
}

}  // namespace
