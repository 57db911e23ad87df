// "--switch DIR" end to end: snapshot, mark, what is applied and how the report words it.
#include "tests/sound/sound_runs.h"

#include <chrono>
#include <ctime>

using namespace sound_test;

TEST(Switch, TakesSnapshotMarksAppliesAndReports) {
    Stage stage;
    auto started = std::chrono::system_clock::now();
    Switch run(stage);
    EXPECT_EQ(run.switched, studioSwitched);
    // The current defaults as read, plus the wanted device's own settings, once for both roles.
    EXPECT_EQ(harness::readFile(stage.file("snapshot.json")),
              R"({"input":{"name":"Mic","rate":44100,"uid":"mic"},"others":[{"layout":"AgBlAAAAAAAAAAAA",)"
              R"("name":"Studio","rate":48000,"uid":"studio","volume":{"1":1,"2":0.5}}],)"
              R"("output":{"name":"Speakers","rate":44100,"uid":"spk","volume":{"0":0.75}}})");
    // The mark holds the moment of the switch in UTC.
    std::tm utc{};
    auto mark = harness::readFile(stage.file("switched")).value_or("");
    ASSERT_TRUE(mark.size() == 20 && strptime(mark.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc) == &mark[20]) << mark;
    auto marked = std::chrono::system_clock::from_time_t(timegm(&utc));
    EXPECT_LE(std::chrono::abs(marked - started), std::chrono::seconds(5));
    json switched = stage.before;
    switched["defaultOutput"] = switched["defaultInput"] = "studio";
    switched["devices"]["studio"] = {{"rate", 96000}, {"layout", layoutB}, {"volume", {{"1", 0.25}, {"2", 0.125}}}};
    EXPECT_EQ(soundState(stage.machine), switched);

    EXPECT_EQ(run.restore(), restoredReport(studioRestored, {}));
    EXPECT_EQ(soundState(stage.machine), stage.before);
    EXPECT_FALSE(harness::exists(stage.file("switched")));
}

// Settings as a hand-written file may hold what "--save" refuses. Only what is reported applied is
// written, each once; with nothing to do the report says "kept"; the restore gives back the state.
TEST(Switch, WhatIsAppliedAndSkipped) {
    const json m = studioMachine();
    json rateReadOnly = m;
    rateReadOnly["devices"][1]["faults"] = {{"nsrt", "readonly"}};
    auto out = [](const json& side) { return json{{"output", side}}; };
    const std::string spk = "the output spk", studio = "the output studio", studioDefault = studio + " as the default";
    using Texts = std::vector<std::string>;
    const std::tuple<json, Texts, Texts, json> cases[] = {  // settings, applied, skipped, machine
        {out({{"uid", "spk"}, {"rate", 44100.5}}), {}, {}, m},  // within 0.5 Hz
        {out({{"uid", "spk"}, {"name", "Speakers"}, {"rate", 44100.6}}), {"the output Speakers at 44100 Hz"}, {}, m},
        {out({{"uid", "spk"}, {"rate", 44101.9}}), {spk + " at 44101 Hz"}, {}, m},  // cut, not rounded
        {out({{"uid", "spk"}, {"volume", {{"0", 0.7509}}}}), {}, {}, m},  // within 0.001
        {out({{"uid", "spk"}, {"volume", {{"0", 0.7489}}}}), {spk + "'s volume"}, {}, m},
        {out({{"uid", "spk"}, {"volume", {{"0", 0.75}, {"1", 0}}}}), {}, {spk + "'s volume"}, m},
        {out({{"uid", "studio"}, {"layout", layoutA}}), {studioDefault}, {}, m},
        {out({{"uid", "studio"}, {"layout", "AgBl*AAAAAAAAAAA"}}), {studioDefault}, {studio + "'s channel layout"}, m},
        {out({{"uid", "studio"}, {"volume", {{"+2", 0.25}}}}), {studioDefault, studio + "'s volume"}, {}, m},
        {out({{"uid", "studio"}, {"volume", {{"4294967298", 0.25}}}}), {studioDefault}, {studio + "'s volume"}, m},
        // Others first, never made a default; then output, then input, which takes no layout or volume.
        {{{"others", json::array({{{"uid", "headset"}, {"rate", 8000}, {"volume", {{"0", 0.5}}}}})},
          {"output", {{"uid", "spk"}, {"rate", 48000}}},
          {"input", {{"uid", "headset"}, {"layout", layoutB}, {"volume", {{"0", 1}}}}}},
         {"headset at 8000 Hz", "headset's volume", spk + " at 48000 Hz", "the input headset as the default"}, {}, m},
        // Both roles in place: kept only when the others are too, else the snapshot must cover them.
        {{{"others", json::array({{{"uid", "headset"}, {"rate", 16000}, {"volume", {{"0", 0.25}}}}})},
          {"output", {{"uid", "spk"}}}}, {}, {}, m},
        {{{"others", json::array({{{"uid", "headset"}, {"rate", 8000}}})}, {"output", {{"uid", "spk"}}}},
         {"headset at 8000 Hz"}, {}, m},
        {studioWanted(), {studioApplied[0], studioApplied[2], studioApplied[3], studioApplied[4], studioApplied[5]},
         {studioApplied[1]}, rateReadOnly},
        {studioWanted(), {}, {"the output Studio: not connected", "the input Studio: not connected"},
         without(m, "studio")},
    };
    for (const auto& [settings, applied, skipped, machine] : cases) {
        Stage stage(settings, machine);
        Switch run(stage);
        bool taken = !applied.empty() || !skipped.empty();
        EXPECT_EQ(run.switched, json({{"type", "switched"}, {"snapshot", taken ? "taken" : "kept"},
                                      {"applied", applied}, {"skipped", skipped}})) << settings;
        EXPECT_EQ(stage.machine.calls("AudioObjectSetPropertyData").size(), applied.size()) << settings;
        run.child.closeInput();
        EXPECT_EQ(run.child.wait(), 0) << settings;
        EXPECT_EQ(soundState(stage.machine), stage.before) << settings;
    }
}

// A default or a rate counts once reads show it: in time it is applied, never it is skipped.
TEST(Switch, ChangesCountOnceTheyShow) {
    for (double delayMs : {300, 3000}) {
        Stage stage({{"output", {{"uid", "spk"}, {"name", "Speakers"}, {"rate", 48000}}}}, studioMachine(delayMs));
        json entry = {"the output Speakers at 48000 Hz"}, switched = Switch(stage).switched;
        EXPECT_EQ(switched["applied"], delayMs < 2000 ? entry : json::array()) << delayMs;
        EXPECT_EQ(switched["skipped"], delayMs < 2000 ? json::array() : entry) << delayMs;
    }
}

TEST(Switch, WithoutReadableSettingsNothingHappens) {
    const std::string text = studioWanted().dump();
    auto deep = [](std::size_t depth) {
        return R"({"output":{"uid":"studio","deep":)" + std::string(depth, '[') + std::string(depth, ']') + "}}";
    };
    // What the folder holds as the settings file: nothing (a new folder) or text. (A FIFO is never
    // read: the file tests plant one.)
    const std::optional<std::string> cases[] = {
        std::nullopt, "{\"output\":", "[{\"output\":{\"uid\":\"x\"}}]",
        text + std::string((1 << 20) + 1 - text.size(), ' ')};
    for (const auto& settings : cases) {
        std::string what = settings.value_or("none").substr(0, 40);
        Stage stage(nullptr);
        std::string folder = stage.file("new/folder");
        if (settings) std::filesystem::create_directories(folder);
        if (settings) harness::writeFile(folder + "/sorvane.json", *settings);
        auto result = sound(stage.machine, {"--switch", folder}, "restore\n", 5);  // a switch would end at once
        EXPECT_EQ(result.status, 1) << what;
        EXPECT_EQ(result.out, errorLine("Sorvane's sound isn't set up yet")) << what;
        EXPECT_EQ(soundState(stage.machine), stage.before) << what;
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << what;
        EXPECT_FALSE(harness::exists(folder + "/switched")) << what;
        EXPECT_FALSE(harness::exists(folder + "/snapshot.json")) << what;
    }
    // Up to 1 MiB is read, and unknown members nested a little are ignored.
    Stage stage(nullptr);
    harness::writeFile(stage.file("sorvane.json"), deep(100) + std::string((1 << 20) - deep(100).size(), ' '));
    auto result = sound(stage.machine, {"--switch", stage.dir.path()}, "restore\n");
    EXPECT_EQ(parsed(result.outLines().at(0)).value("applied", json()), json({"the output studio as the default"}));
}

// Whatever the defaults and the wishes, the snapshot carries what the switch changes, and the
// restore finds every device as it was.
TEST(Switch, SnapshotCarriesWhatTheSwitchChanges) {
    json studio = {{"layout", layoutA}, {"name", "Studio"}, {"rate", 48000}, {"uid", "studio"},
                   {"volume", {{"1", 1}, {"2", 0.5}}}};
    json headset = {{"name", "Headset"}, {"rate", 16000}, {"uid", "headset"}, {"volume", {{"0", 0.25}}}};
    json mic = {{"name", "Mic"}, {"rate", 44100}, {"uid", "mic"}};
    json studioOut = studioWanted()["output"];
    const std::tuple<const char*, const char*, json, json> cases[] = {  // defaults, wish, entries of others
        {"spk", "mic", studioWanted(), json::array({studio})},  // one entry for a device wanted in both roles
        {"spk", "studio", {{"output", studioOut}, {"input", {{"uid", "mic"}}}}, json::array({studio, mic})},  // swapped
        {"spk", "studio", {{"output", studioOut}}, json::array({studio})},  // the output held now only as the input
        {"studio", "mic", studioWanted(), nullptr},                          // already the output
        {"spk", "mic", {{"input", {{"uid", "headset"}, {"rate", 8000}}}}, json::array({headset})},  // also an output
        {"spk", "studio", {{"input", {{"uid", "mic"}, {"rate", 48000}}}}, json::array({mic})},  // no layout or volume
        {"spk", "studio", {{"others", json::array({{{"uid", "headset"}, {"rate", 8000}, {"volume", {{"0", 1}}}}})},
                           {"output", studioOut}}, json::array({studio, headset})},  // the host's others too
        {"spk", "mic", {{"output", {{"uid", "gone"}}}}, nullptr},  // no entry for a device not connected
    };
    for (const auto& [output, input, wanted, others] : cases) {
        json description = studioMachine();
        description["defaultOutput"] = output;
        description["defaultInput"] = input;
        Stage stage(wanted, description);
        Switch run(stage);
        EXPECT_EQ(run.switched["snapshot"], "taken") << wanted;
        auto snapshot = json::parse(harness::readFile(stage.file("snapshot.json")).value_or(""), nullptr, false);
        EXPECT_EQ(snapshot.value("others", json()), others) << wanted;
        EXPECT_EQ(run.restore()["skipped"], json::array()) << wanted;
        EXPECT_EQ(soundState(stage.machine), stage.before) << wanted;
    }
}
