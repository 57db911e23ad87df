// Mode selection end to end: presence of an option alone counts, in a fixed order.
#include "harness/harness.h"
#include "tests/sound/support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

const json machineDescription = {
    {"devices", {{{"uid", "spk"}, {"name", "Speakers"}, {"rate", 48000}, {"output", {2}}, {"volume", {{"0", 0.5}}}}}},
    {"defaultOutput", "spk"}};
const std::string readLine =
    R"({"settings":{"output":{"name":"Speakers","rate":48000,"uid":"spk","volume":{"0":0.5}}},"type":"settings"})" "\n";
const std::string usage =
    R"({"message":"say what to do: --read, --devices, --save DIR, --switch DIR, --restore DIR","type":"error"})" "\n";

harness::Result runWith(const harness::Machine& machine, const std::vector<std::string>& args) {
    return sound_test::runSound(machine, args);
}

TEST(Modes, FirstPresentOptionWins) {
    harness::Machine machine(machineDescription);
    const std::string devicesLine =
        R"({"inputs":0,"name":"Speakers","outputs":2,"rate":48000,"rates":[],"uid":"spk"})" "\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"--backend"}, 0, "coreaudio\n"},
        {{"--read", "--backend"}, 0, "coreaudio\n"},
        {{"--devices", "--read", "x", "--backend", "--switch", "dir"}, 0, "coreaudio\n"},
        {{"--read"}, 0, readLine},
        {{"whatever", "--read"}, 0, readLine},
        {{"--devices", "--read"}, 0, readLine},
        {{"--save", "--read"}, 0, readLine},  // "--read" still counts as the option, not as a folder
        {{"--switch", "--devices"}, 0, devicesLine},
        {{"--devices"}, 0, devicesLine},
        {{}, 1, usage},
        {{"read", "-read", "--READ", "--read=1", "--", ""}, 1, usage},
    };
    for (const auto& c : cases) {
        auto result = runWith(machine, c.args);
        std::string shown;
        for (const auto& a : c.args) {
            shown += "'" + a + "' ";
        }
        EXPECT_EQ(result.status, c.status) << shown;
        EXPECT_EQ(result.out, c.out) << shown;
        EXPECT_EQ(result.err, "") << shown;
    }
}

TEST(Modes, FolderOptionAsLastArgument) {
    harness::Machine machine(machineDescription);
    for (const char* option : {"--restore", "--save", "--switch"}) {
        auto result = runWith(machine, {option});
        EXPECT_EQ(result.status, 1) << option;
        EXPECT_EQ(result.out, json({{"message", std::string(option) + " needs a folder"}, {"type", "error"}}).dump() + "\n")
            << option;
    }
}

TEST(Modes, RestoreComesBeforeSwitch) {
    harness::Machine machine(machineDescription);
    harness::TempDir dir;
    auto result = runWith(machine, {"--switch", dir.file("switch"), "--restore", dir.file("restore")});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(harness::exists(dir.file("restore")));
    EXPECT_FALSE(harness::exists(dir.file("switch")));
    ASSERT_EQ(result.outLines().size(), 1u);
    EXPECT_EQ(json::parse(result.outLines()[0]).value("type", ""), "restored");
    EXPECT_EQ(machine.state()["defaultOutput"], "spk");
}

harness::Options onMachine(const std::string& path) {
    harness::Options options;
    options.env = {"SORVANE_MACHINE=" + path};
    return options;
}

TEST(Modes, BrokenMachineFileIsASetUpError) {
    harness::TempDir dir;
    const std::pair<const char*, std::string> broken[] = {
        {"not JSON", "{\"devices\": ["},
        {"not an object", "[]"},
        {"device without uid", R"({"devices":[{"name":"x"}]})"},
        {"devices not a list", R"({"devices":{"uid":"x"}})"},
        {"unknown fault", R"({"devices":[{"uid":"x","faults":{"lnam":"sometimes"}}]})"},
    };
    for (const auto& [what, text] : broken) {
        std::string path = dir.file("machine.json");
        harness::writeFile(path, text);
        for (const char* mode : {"--read", "--devices"}) {
            auto result = harness::run(harness::program("sorvane-sound"), {mode}, onMachine(path));
            EXPECT_EQ(result.status, 3) << what << " " << mode;
            EXPECT_EQ(result.out, "") << what << " " << mode;
            ASSERT_EQ(result.errLines().size(), 1u) << what << " " << mode << ": " << result.err;
            EXPECT_EQ(result.errLines()[0].rfind("simulated machine: ", 0), 0u) << result.err;
        }
    }
    auto missing =
        harness::run(harness::program("sorvane-sound"), {"--read"}, onMachine(dir.file("no-such-machine.json")));
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.err.rfind("simulated machine: ", 0), 0u) << missing.err;
}

}  // namespace
