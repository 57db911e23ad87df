// "--devices" end to end: one JSON line per describable device, in the platform's order.
#include "harness/harness.h"
#include "tests/sound/support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

harness::Result list(const harness::Machine& machine) {
    return sound_test::runSound(machine, {"--devices"});
}

TEST(Devices, OneExactLinePerDevice) {
    json devices = {
        {{"uid", "spk"}, {"name", "Speakers"}, {"output", {2}}, {"rate", 48000},
         {"rates", {{44100, 44100}, {48000, 48000}, {88200, 96000}}}},
        {{"uid", "studio"}, {"name", "Studio"}, {"output", {2, 8}}, {"input", {2}}, {"rate", 96000.5},
         {"rates", {{96000, 96000}, {44100, 48000}, {96000, 96000}}}},
        {{"uid", "mic"}, {"name", "Mic"}, {"input", {1}}},
    };
    harness::Machine machine(json{{"devices", devices}});
    auto result = list(machine);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              R"({"inputs":0,"name":"Speakers","outputs":2,"rate":48000,"rates":[44100,48000,88200,96000],"uid":"spk"})" "\n"
              R"({"inputs":2,"name":"Studio","outputs":10,"rate":96000.5,"rates":[96000,44100,48000,96000],"uid":"studio"})" "\n"
              R"({"inputs":1,"name":"Mic","outputs":0,"rate":0,"rates":[],"uid":"mic"})" "\n");
    EXPECT_TRUE(sound_test::stringsBalanced(machine));
}

TEST(Devices, NothingToListIsNoOutput) {
    const json machines[] = {
        json::object(),
        {{"devices", json::array()}},
        {{"devices", {{{"uid", "spk"}, {"output", {2}}}}}, {"faults", {{"dev#", -50}}}},
        {{"devices", {{{"uid", "spk"}, {"output", {2}}}}}, {"faults", {{"dev#", "absent"}}}},
    };
    for (const auto& m : machines) {
        harness::Machine machine(m);
        auto result = list(machine);
        EXPECT_EQ(result.status, 0) << m;
        EXPECT_EQ(result.out, "") << m;
        EXPECT_TRUE(sound_test::stringsBalanced(machine)) << m;
    }
}

TEST(Devices, UndescribableDetailsFallBack) {
    json devices = {
        {{"uid", "no-uid"}, {"name", "A"}, {"output", {2}}, {"faults", {{"uid ", -50}}}},
        {{"uid", "null-uid"}, {"name", "B"}, {"output", {2}}, {"faults", {{"uid ", "null"}}}},
        {{"uid", "nameless"}, {"output", {2}}},
        {{"uid", "null-name"}, {"name", "C"}, {"output", {2}}, {"faults", {{"lnam", "null"}}}},
        {{"uid", "broken"}, {"name", "D"}, {"output", {2}}, {"input", {2}}, {"rate", 48000},
         {"rates", {{48000, 48000}}}, {"faults", {{"lnam", -50}, {"slay", -50}, {"nsrt", -50}, {"nsr#", -50}}}},
        {{"uid", "no-rate"}, {"name", "E"}, {"input", {2}}, {"faults", {{"nsrt", "absent"}, {"nsr#", "absent"}}}},
        {{"uid", "last"}, {"name", "F"}, {"output", {2}}},
    };
    harness::Machine machine(json{{"devices", devices}});
    auto result = list(machine);
    EXPECT_EQ(result.status, 0);
    std::vector<json> lines;
    for (const auto& line : result.outLines()) {
        lines.push_back(json::parse(line));
    }
    std::vector<json> expected = {
        {{"uid", "nameless"}, {"name", ""}, {"outputs", 2}, {"inputs", 0}, {"rate", 0}, {"rates", json::array()}},
        {{"uid", "null-name"}, {"name", ""}, {"outputs", 2}, {"inputs", 0}, {"rate", 0}, {"rates", json::array()}},
        {{"uid", "broken"}, {"name", ""}, {"outputs", 0}, {"inputs", 0}, {"rate", 0}, {"rates", json::array()}},
        {{"uid", "no-rate"}, {"name", "E"}, {"outputs", 0}, {"inputs", 2}, {"rate", 0}, {"rates", json::array()}},
        {{"uid", "last"}, {"name", "F"}, {"outputs", 2}, {"inputs", 0}, {"rate", 0}, {"rates", json::array()}},
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(sound_test::stringsBalanced(machine));
}

TEST(Devices, OddNamesAreValidJsonLines) {
    const std::string names[] = {"In/Out", "\"quoted\"", "back\\slash", std::string("ctl\x01\x7f\t\n"), "Café 音響 🎧"};
    json devices = json::array();
    for (size_t i = 0; i < std::size(names); ++i) {
        devices.push_back({{"uid", std::to_string(i)}, {"name", names[i]}, {"output", {2}}});
    }
    harness::Machine machine(json{{"devices", devices}});
    auto result = list(machine);
    auto lines = result.outLines();
    ASSERT_EQ(lines.size(), std::size(names));
    for (size_t i = 0; i < lines.size(); ++i) {
        json line = json::parse(lines[i], nullptr, false);
        ASSERT_FALSE(line.is_discarded()) << lines[i];
        EXPECT_EQ(line["name"], names[i]);
    }
    EXPECT_NE(lines[0].find(R"("name":"In\/Out")"), std::string::npos);
    EXPECT_NE(lines[4].find("Café 音響 🎧"), std::string::npos);  // non-ASCII raw, not escaped
}

}  // namespace
