// Settings text nested far too deep, end to end: an unreadable record, never a crash (a hundred
// thousand brackets once overflowed the stack).
#include "tests/sound/folder_modes.h"

namespace {

using namespace folder_test;

// A readable record around an unknown member whose value nests `depth` arrays.
std::string deepRecord(std::size_t depth) {
    return R"({"output":{"uid":"studio","deep":)" + std::string(depth, '[') + std::string(depth, ']') + "}}";
}

TEST(Nesting, ShallowUnknownMembersAreStillIgnored) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    auto result = sound(machine, {"--save", dir.path()}, deepRecord(100) + "\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "{\"type\":\"saved\"}\n");
    EXPECT_EQ(harness::readFile(dir.file("sorvane.json")), R"({"output":{"uid":"studio"}})");
}

TEST(Nesting, DeepSettingsLineIsNotSettings) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    auto result = sound(machine, {"--save", dir.path()}, deepRecord(100000) + "\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, errorLine("Sorvane's settings are one JSON line on stdin"));
    EXPECT_FALSE(harness::exists(dir.file("sorvane.json")));
}

TEST(Nesting, DeepSettingsFileIsNotSetUp) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    harness::writeFile(dir.file("sorvane.json"), deepRecord(100000));
    json before = soundState(machine);
    auto result = sound(machine, {"--switch", dir.path()}, "restore\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, errorLine("Sorvane's sound isn't set up yet"));
    EXPECT_EQ(soundState(machine), before);
    EXPECT_FALSE(harness::exists(dir.file("switched")));
}

}  // namespace
