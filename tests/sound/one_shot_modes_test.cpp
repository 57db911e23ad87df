// The modes that answer once and end: which mode a command line picks, "--read" and "--devices".
#include "tests/sound/sound_runs.h"

using namespace sound_test;

// Presence of an option alone counts, in a fixed order; a folder is the argument after the option's
// first occurrence.
TEST(Modes, FirstPresentOptionWins) {
    harness::TempDir dir;
    harness::Machine machine(json{{"devices", {{{"uid", "spk"}, {"name", "S"}, {"rate", 48000}, {"output", {2}}}}},
                                  {"defaultOutput", "spk"}});
    const std::string read = R"({"settings":{"output":{"name":"S","rate":48000,"uid":"spk","volume":{}}},)"
                             R"("type":"settings"})" "\n",
                      devices = R"({"inputs":0,"name":"S","outputs":2,"rate":48000,"rates":[],"uid":"spk"})" "\n",
                      usage = errorLine("say what to do: --read, --devices, --save DIR, --switch DIR, --restore DIR");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--backend"}, "coreaudio\n"},
        {{"--devices", "--read", "x", "--backend", "--switch", "dir"}, "coreaudio\n"},
        {{"--save", "--read"}, read},  // "--read" still counts as the option, not as a folder
        {{"--switch", "--devices"}, devices},
        {{}, usage},
        {{"read", "-read", "--READ", "--read=1", "--", ""}, usage},
        {{"--restore"}, errorLine("--restore needs a folder")},
        {{"--save"}, errorLine("--save needs a folder")},
        {{"--switch"}, errorLine("--switch needs a folder")},
        {{"--switch", dir.file("s"), "--restore", dir.file("r"), "--restore", dir.file("x")}, nothingRestored},
    };
    for (const auto& [args, out] : cases) {
        std::string shown = ::testing::PrintToString(args);
        auto result = sound(machine, args);
        EXPECT_EQ(result.status, out.find("\"error\"") == std::string::npos ? 0 : 1) << shown;
        EXPECT_EQ(result.out, out) << shown;
        EXPECT_EQ(result.err, "") << shown;
    }
    EXPECT_TRUE(machine.calls("AudioObjectSetPropertyData").empty());
    EXPECT_TRUE(harness::exists(dir.file("r")));
    EXPECT_FALSE(harness::exists(dir.file("s")) || harness::exists(dir.file("x")));
}

TEST(Read, DefaultsWithTheirSettings) {
    const json speakers = {{"uid", "spk"}, {"name", "Speakers"}, {"rate", 48000}, {"output", {2}},
                           {"volume", {{"0", 0.7}}}, {"layout", layoutA}};
    // An input device with a layout and volume of its own, which an input side never carries.
    const json microphone = {{"uid", "mic"}, {"name", "Mic/Line"}, {"rate", 44100}, {"input", {1}},
                             {"output", {2}}, {"volume", {{"0", 1}}}, {"layout", layoutA}};
    const json bare = {{"uid", "bare"}, {"output", {2}}, {"layout", layoutA},
                       {"faults", {{"nsrt", -50}, {"lnam", "null"}, {"volm", "absent"}, {"srnd", -50}}}};
    // 0.7 is kept by the machine as a 32-bit float and widened exactly.
    const std::string output = R"("output":{"layout":"AgBlAAAAAAAAAAAA","name":"Speakers","rate":48000,"uid":"spk",)"
                               R"("volume":{"0":0.699999988079071}})";
    const std::string input = R"("input":{"name":"Mic\/Line","rate":44100,"uid":"mic"})";
    const std::pair<json, std::string> cases[] = {
        {{{"devices", {speakers, microphone}}, {"defaultOutput", "spk"}, {"defaultInput", "mic"}},
         "{" + input + "," + output + "}"},
        {{{"devices", {speakers}}, {"defaultOutput", "spk"}}, "{" + output + "}"},
        {{{"devices", {microphone}}, {"defaultInput", "mic"}}, "{" + input + "}"},
        {{{"devices", {json{{"uid", "x"}, {"output", {2}}, {"faults", {{"uid ", "null"}}}}}}, {"defaultOutput", "x"}},
         "{}"},
        {{{"devices", {speakers}}, {"defaultOutput", "spk"}, {"faults", {{"dOut", -50}}}}, "{}"},
        {{{"devices", {speakers}}, {"defaultOutput", "spk"}, {"faults", {{"uidd", -50}}}},
         R"({"output":{"uid":"spk","volume":{}}})"},
        {{{"devices", {bare}}, {"defaultOutput", "bare"}}, R"({"output":{"uid":"bare","volume":{}}})"},
        {{{"devices", {{{"uid", std::string("s\0", 2)}, {"name", std::string("S\0t", 3)}, {"output", {2}}}}},
          {"defaultOutput", std::string("s\0", 2)}},
         R"({"output":{"name":"S\u0000t","uid":"s\u0000","volume":{}}})"},  // U+0000 kept
    };
    for (const auto& [description, settings] : cases) {
        harness::Machine machine(description);
        auto result = sound(machine, {"--read"});
        EXPECT_EQ(result.status, 0) << description;
        EXPECT_EQ(result.out, R"({"settings":)" + settings + R"(,"type":"settings"})" + "\n") << description;
        EXPECT_TRUE(machine.endedClean()) << description;
    }
}

// The main volume describes the whole device; otherwise every channel of every output stream, up
// to 16, and at least channel 1.
TEST(Read, VolumeElements) {
    auto channels = [](int n) {
        json volume = json::object();
        for (int e = 1; e <= n; ++e) volume[std::to_string(e)] = e / 64.0;  // exact in 32 bits
        return volume;
    };
    const std::tuple<json, json, json> cases[] = {  // output streams, volumes, what is read
        {{2}, {{"0", 0.5}, {"1", 0.125}, {"2", 0.25}}, {{"0", 0.5}}}, {{2}, channels(2), channels(2)},
        {{2}, {{"2", 0.25}}, {{"2", 0.25}}}, {{2, 2}, channels(4), channels(4)}, {{20}, channels(20), channels(16)},
        {json::array(), {{"1", 0.375}, {"2", 0.25}}, {{"1", 0.375}}}, {{2}, json::object(), json::object()}};
    for (const auto& [streams, volume, expected] : cases) {
        harness::Machine machine(
            json{{"devices", {{{"uid", "dev"}, {"output", streams}, {"volume", volume}}}}, {"defaultOutput", "dev"}});
        json report = json::parse(sound(machine, {"--read"}).out, nullptr, false);
        EXPECT_EQ(report.value("/settings/output/volume"_json_pointer, json()), expected) << volume;
    }
}

// Rates neither sorted nor merged: a single rate once, a range as its two ends. A device without a
// readable UID is left out; other details that cannot be read fall back to empty or zero.
TEST(Devices, OneExactLinePerDevice) {
    auto device = [](const char* uid, json faults, json more = json::object()) {
        json d = {{"uid", uid}, {"name", "N"}, {"output", {2}}, {"faults", faults}};
        d.update(more);
        return d;
    };
    harness::Machine machine(json{{"devices",
        {device("spk", json::object(), {{"rate", 48000}, {"rates", {{44100, 44100}, {48000, 48000}, {88200, 96000}}}}),
         device("2", json::object(), {{"output", {2, 8}}, {"input", {2}}, {"rate", 96000.5},
                                      {"rates", {{96000, 96000}, {44100, 48000}, {96000, 96000}}}}),
         device("no-uid", {{"uid ", -50}}), device("null-uid", {{"uid ", "null"}}),
         device("null-name", {{"lnam", "null"}}), device("failed-name", {{"lnam", -50}}),
         device("broken", {{"slay", -50}, {"nsrt", -50}, {"nsr#", -50}},
                {{"input", {2}}, {"rate", 48000}, {"rates", {{48000, 48000}}}}),
         device("mic", {{"nsrt", "absent"}, {"nsr#", "absent"}}, {{"output", json::array()}, {"input", {1}}})}}});
    auto result = sound(machine, {"--devices"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              R"({"inputs":0,"name":"N","outputs":2,"rate":48000,"rates":[44100,48000,88200,96000],"uid":"spk"})" "\n"
              R"({"inputs":2,"name":"N","outputs":10,"rate":96000.5,"rates":[96000,44100,48000,96000],"uid":"2"})" "\n"
              R"({"inputs":0,"name":"","outputs":2,"rate":0,"rates":[],"uid":"null-name"})" "\n"
              R"({"inputs":0,"name":"","outputs":2,"rate":0,"rates":[],"uid":"failed-name"})" "\n"
              R"({"inputs":0,"name":"N","outputs":0,"rate":0,"rates":[],"uid":"broken"})" "\n"
              R"({"inputs":1,"name":"N","outputs":0,"rate":0,"rates":[],"uid":"mic"})" "\n");
    EXPECT_TRUE(machine.endedClean());
}
