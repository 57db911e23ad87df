// "--switch DIR" end to end: snapshot, mark, what is applied and how the report words it.
#include "tests/sound/folder_modes.h"

#include <chrono>
#include <ctime>
#include <regex>

namespace {

using namespace folder_test;

const std::vector<std::string> studioApplied = {
    "the output Studio as the default", "the output Studio at 96000 Hz", "the output Studio's channel layout",
    "the output Studio's volume",       "the output Studio's volume",    "the input Studio as the default"};

TEST(Switch, TakesSnapshotMarksAppliesAndReports) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    json before = soundState(machine);
    auto started = std::chrono::system_clock::now();

    Switch run(machine, dir.path());
    EXPECT_EQ(run.switched,
              json({{"type", "switched"}, {"snapshot", "taken"}, {"applied", studioApplied}, {"skipped", json::array()}}));
    // The current defaults as read, plus the wanted device's own settings, once for both roles.
    EXPECT_EQ(harness::readFile(dir.file("snapshot.json")),
              R"({"input":{"name":"Mic","rate":44100,"uid":"mic"},)"
              R"("others":[{"layout":"AgBlAAAAAAAAAAAA","name":"Studio","rate":48000,"uid":"studio","volume":{"1":1,"2":0.5}}],)"
              R"("output":{"name":"Speakers","rate":44100,"uid":"spk","volume":{"0":0.75}}})");
    auto mark = harness::readFile(dir.file("switched"));
    ASSERT_TRUE(mark);
    EXPECT_TRUE(std::regex_match(*mark, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << *mark;
    std::tm utc{};
    strptime(mark->c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    auto marked = std::chrono::system_clock::from_time_t(timegm(&utc));
    EXPECT_LE(std::chrono::abs(marked - started), std::chrono::seconds(5));

    json now = soundState(machine);
    EXPECT_EQ(now["defaultOutput"], "studio");
    EXPECT_EQ(now["defaultInput"], "studio");
    EXPECT_EQ(now["devices"]["studio"], json({{"rate", 96000}, {"layout", layoutB}, {"volume", {{"1", 0.25}, {"2", 0.125}}}}));

    EXPECT_EQ(run.restore(), restoredReport({"Studio at 48000 Hz", "Studio's channel layout", "Studio's volume",
                                             "Studio's volume", "the output Speakers as the default",
                                             "the input Mic as the default"},
                                            {}));
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_EQ(soundState(machine), before);
    EXPECT_FALSE(harness::exists(dir.file("switched")));
    EXPECT_TRUE(harness::exists(dir.file("snapshot.json")));
}

TEST(Switch, KeepsTheSnapshotWhenAlreadyAsWanted) {
    // Within 0.5 Hz and 0.001 counts as in place.
    const json inPlace = {{"output", {{"uid", "spk"}, {"rate", 44100.5}, {"volume", {{"0", 0.7509}}}}},
                          {"input", {{"uid", "mic"}, {"rate", 44099.5}}}};
    for (bool earlierSnapshot : {true, false}) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        ASSERT_TRUE(saveSettings(machine, dir.path(), inPlace));
        const std::string earlier = R"({"output":{"uid":"studio"}})";
        if (earlierSnapshot) {
            harness::writeFile(dir.file("snapshot.json"), earlier);
        }
        json before = soundState(machine);
        Switch run(machine, dir.path());
        EXPECT_EQ(run.switched, json({{"type", "switched"}, {"snapshot", "kept"}, {"applied", json::array()},
                                      {"skipped", json::array()}}));
        EXPECT_TRUE(harness::exists(dir.file("switched")));
        EXPECT_EQ(harness::readFile(dir.file("snapshot.json")),
                  earlierSnapshot ? std::optional<std::string>(earlier) : std::nullopt);
        EXPECT_EQ(soundState(machine), before);
        run.child.closeInput();
        EXPECT_EQ(run.child.wait(), 0);
    }
}

TEST(Switch, ThresholdsDecideWhatIsApplied) {
    struct Case {
        const char* what;
        json output;
        const char* snapshot;
        std::vector<std::string> applied;
    };
    const Case cases[] = {
        {"rate 0.5 Hz off", {{"uid", "spk"}, {"rate", 44100.5}}, "kept", {}},
        {"rate 0.6 Hz off, cut not rounded", {{"uid", "spk"}, {"name", "Speakers"}, {"rate", 44100.6}}, "taken",
         {"the output Speakers at 44100 Hz"}},
        {"rate fraction cut", {{"uid", "spk"}, {"rate", 44101.9}}, "taken", {"the output spk at 44101 Hz"}},
        {"volume 0.0009 off", {{"uid", "spk"}, {"volume", {{"0", 0.7509}}}}, "kept", {}},
        {"volume 0.0011 off", {{"uid", "spk"}, {"volume", {{"0", 0.7489}}}}, "taken", {"the output spk's volume"}},
        {"same layout", {{"uid", "studio"}, {"layout", layoutA}}, "taken", {"the output studio as the default"}},
    };
    for (const auto& c : cases) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        ASSERT_TRUE(saveSettings(machine, dir.path(), {{"output", c.output}}));
        Switch run(machine, dir.path());
        EXPECT_EQ(run.switched["snapshot"], c.snapshot) << c.what;
        EXPECT_EQ(run.switched["applied"], json(c.applied)) << c.what;
        run.child.closeInput();
        EXPECT_EQ(run.child.wait(), 0) << c.what;
    }
}

TEST(Switch, ChannelTheDeviceLacksIsSkipped) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), {{"output", {{"uid", "spk"}, {"volume", {{"0", 0.75}, {"1", 0}}}}}}));
    Switch run(machine, dir.path());
    EXPECT_EQ(run.switched["applied"], json::array());
    EXPECT_EQ(run.switched["skipped"], json({"the output spk's volume"}));
}

TEST(Switch, EntriesFollowOthersThenOutputThenInput) {
    json description = studioMachine();
    description["devices"].push_back(
        {{"uid", "wide"}, {"rate", 48000}, {"output", {10}}, {"volume", {{"1", 1}, {"2", 1}, {"10", 1}}}});
    harness::Machine machine(description);
    harness::TempDir dir;
    // The input side's layout and volume are never applied; "wide" is set but not made a default.
    json wanted = {{"others", {{{"uid", "wide"}, {"rate", 8000}, {"volume", {{"1", 0.5}, {"2", 0.5}, {"10", 0.5}}}}}},
                   {"output", {{"uid", "spk"}, {"name", "Speakers"}, {"rate", 44100.7}, {"volume", {{"0", 0.75}}}}},
                   {"input", {{"uid", "headset"}, {"name", "Headset"}, {"rate", 8000}, {"layout", layoutB},
                              {"volume", {{"0", 1}}}}}};
    ASSERT_TRUE(saveSettings(machine, dir.path(), wanted));
    Switch run(machine, dir.path());
    EXPECT_EQ(run.switched["applied"],
              json({"wide at 8000 Hz", "wide's volume", "wide's volume", "wide's volume", "the output Speakers at 44100 Hz",
                    "the input Headset as the default", "the input Headset at 8000 Hz"}));
    EXPECT_EQ(run.switched["skipped"], json::array());
    json now = soundState(machine);
    EXPECT_EQ(now["defaultOutput"], "spk");
    EXPECT_EQ(now["devices"]["headset"]["volume"], json({{"0", 0.25}}));
    EXPECT_EQ(now["devices"]["headset"]["layout"], nullptr);
    EXPECT_EQ(now["devices"]["wide"]["volume"], json({{"1", 0.5}, {"2", 0.5}, {"10", 0.5}}));
}

TEST(Switch, ReadOnlyRateIsSkippedAndTheRestApplied) {
    json description = studioMachine();
    description["devices"][1]["faults"] = {{"nsrt", "readonly"}};
    harness::Machine machine(description);
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    json before = soundState(machine);
    Switch run(machine, dir.path());
    auto applied = studioApplied;
    applied.erase(applied.begin() + 1);
    EXPECT_EQ(run.switched["applied"], json(applied));
    EXPECT_EQ(run.switched["skipped"], json({"the output Studio at 96000 Hz"}));
    EXPECT_EQ(soundState(machine)["devices"]["studio"]["rate"], 48000);
    run.restore();
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_EQ(soundState(machine), before);
}

TEST(Switch, DeviceNotConnected) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    unplug(machine, "studio");
    json before = soundState(machine);
    machine.clearLog();

    Switch run(machine, dir.path());
    EXPECT_EQ(run.switched, json({{"type", "switched"},
                                  {"snapshot", "taken"},
                                  {"applied", json::array()},
                                  {"skipped", {"the output Studio: not connected", "the input Studio: not connected"}}}));
    EXPECT_EQ(soundState(machine), before);
    for (const auto& call : machine.log()) {
        EXPECT_NE(call.value("fn", ""), "AudioObjectSetPropertyData") << call.dump();
    }
    // Nothing to keep for a device that is not there.
    auto snapshot = json::parse(harness::readFile(dir.file("snapshot.json")).value_or(""), nullptr, false);
    EXPECT_FALSE(snapshot.contains("others")) << snapshot.dump();
}

TEST(Switch, WithoutSettingsNothingHappens) {
    struct Case {
        const char* what;
        const char* folder;
        std::optional<std::string> settings;
    };
    const Case cases[] = {
        {"a new folder", "new/folder", std::nullopt},
        {"unreadable settings", "old", "{\"output\":"},
        {"settings of another form", "other", "[{\"output\":{\"uid\":\"studio\"}}]"},
    };
    for (const auto& c : cases) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        std::string folder = dir.file(c.folder);
        if (c.settings) {
            std::filesystem::create_directories(folder);
            harness::writeFile(folder + "/sorvane.json", *c.settings);
        }
        json before = soundState(machine);
        // Were it to switch, the line would restore at once; it must not even get that far.
        auto result = sound(machine, {"--switch", folder}, "restore\n");
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out, errorLine("Sorvane's sound isn't set up yet")) << c.what;
        EXPECT_EQ(soundState(machine), before) << c.what;
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << c.what;
        EXPECT_FALSE(harness::exists(folder + "/switched")) << c.what;
        EXPECT_FALSE(harness::exists(folder + "/snapshot.json")) << c.what;
    }
}

// Whatever the defaults and the wishes, the snapshot carries what the switch changes, and the
// restore finds every device as it was.
TEST(Switch, SnapshotCarriesWhatTheSwitchChanges) {
    json studioEntry = {{"layout", layoutA}, {"name", "Studio"}, {"rate", 48000}, {"uid", "studio"},
                        {"volume", {{"1", 1}, {"2", 0.5}}}};
    json headsetEntry = {{"name", "Headset"}, {"rate", 16000}, {"uid", "headset"}, {"volume", {{"0", 0.25}}}};
    struct Case {
        const char* what;
        const char* defaultOutput;
        const char* defaultInput;
        json wanted;
        json others;  // null: none
    };
    const Case cases[] = {
        {"one entry for a device wanted in both roles", "spk", "mic", studioWanted(), json::array({studioEntry})},
        {"the wanted output held only as the input", "spk", "studio",
         {{"output", studioWanted()["output"]}, {"input", {{"uid", "mic"}}}},
         json::array({studioEntry, {{"name", "Mic"}, {"rate", 44100}, {"uid", "mic"}}})},
        {"the wanted output held only as the input, input unchanged", "spk", "studio",
         {{"output", studioWanted()["output"]}}, json::array({studioEntry})},
        {"both wanted roles on the current output", "studio", "mic", studioWanted(), nullptr},
        {"an input that is also an output keeps its output settings", "spk", "mic",
         {{"input", {{"uid", "headset"}, {"rate", 8000}}}}, json::array({headsetEntry})},
        {"an input-only device has no layout or volume", "spk", "studio",
         {{"input", {{"uid", "mic"}, {"rate", 48000}}}}, json::array({{{"name", "Mic"}, {"rate", 44100}, {"uid", "mic"}}})},
    };
    for (const auto& c : cases) {
        json description = studioMachine();
        description["defaultOutput"] = c.defaultOutput;
        description["defaultInput"] = c.defaultInput;
        harness::Machine machine(description);
        harness::TempDir dir;
        ASSERT_TRUE(saveSettings(machine, dir.path(), c.wanted)) << c.what;
        json before = soundState(machine);
        auto round = switchAndRestore(machine, dir.path());
        EXPECT_EQ(round.switched["snapshot"], "taken") << c.what;
        auto snapshot = json::parse(harness::readFile(dir.file("snapshot.json")).value_or(""), nullptr, false);
        EXPECT_EQ(snapshot.value("others", json()), c.others) << c.what;
        EXPECT_EQ(round.restored["skipped"], json::array()) << c.what;
        EXPECT_EQ(round.status, 0) << c.what;
        EXPECT_EQ(soundState(machine), before) << c.what;
    }
}

}  // namespace
