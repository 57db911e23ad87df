// "--restore DIR": the machine as it was before the switch, and nothing done twice.
#include "tests/sound/sound_runs.h"

using namespace sound_test;

// Without a readable snapshot nothing changes; the mark goes and nothing else is left behind.
TEST(Restore, NothingToPutBack) {
    const std::optional<std::string> snapshots[] = {std::nullopt, "", R"({"output":{"name":"no uid"}})"};
    for (const auto& snapshot : snapshots) {
        Stage stage(nullptr);
        if (snapshot) harness::writeFile(stage.file("snapshot.json"), *snapshot);
        harness::writeFile(stage.file("switched"), "2026-03-14T09:26:53Z");
        auto result = sound(stage.machine, {"--restore", stage.dir.path()});
        std::string what = snapshot.value_or("no snapshot");
        EXPECT_EQ(result.status, 0) << what;
        EXPECT_EQ(result.out, nothingRestored) << what;
        EXPECT_EQ(soundState(stage.machine), stage.before) << what;
        EXPECT_EQ(harness::readFile(stage.file("snapshot.json")), snapshot) << what;
        auto files = std::distance(std::filesystem::directory_iterator(stage.dir.path()), {});
        EXPECT_EQ(files, snapshot ? 1 : 0) << what;
    }
}

// A switch after a killed one (its mark still there) keeps the first snapshot, of the state before,
// however the devices now compare with the host's wish: a rate that could not change, a volume
// control with steps, channel volumes beside a main one. A second restore changes nothing more.
TEST(Restore, KilledSwitchThenSwitchAgainThenRestoreTwice) {
    json fixedRate = studioMachine(), stepped = studioMachine(), mainToo = studioMachine();
    fixedRate["devices"][1]["faults"]["nsrt"] = "readonly";
    stepped["devices"][1]["volumeSteps"] = 4;  // 0.125 is taken as 0.25
    mainToo["devices"][1]["volume"]["0"] = 0.875;  // read as the device's one volume
    for (const json& description : {studioMachine(), fixedRate, stepped, mainToo}) {
        Stage stage(studioWanted(), description);
        json first = Switch(stage).switched;  // then killed in the hold
        EXPECT_EQ(first["applied"].size() + first["skipped"].size(), studioApplied.size()) << description;
        auto snapshot = harness::readFile(stage.file("snapshot.json"));
        Switch again(stage);
        EXPECT_EQ(again.switched.value("snapshot", ""), "kept") << description;
        EXPECT_EQ(harness::readFile(stage.file("snapshot.json")), snapshot) << description;
        EXPECT_EQ(again.restore()["skipped"], json::array()) << description;
        EXPECT_EQ(soundState(stage.machine), stage.before) << description;
        stage.machine.clearLog();
        EXPECT_EQ(sound(stage.machine, {"--restore", stage.dir.path()}).out, restoredReport({}, {}).dump() + "\n");
        EXPECT_EQ(soundState(stage.machine), stage.before) << description;
        EXPECT_EQ(harness::readFile(stage.file("snapshot.json")), snapshot) << description;
        EXPECT_TRUE(stage.machine.calls("AudioObjectSetPropertyData").empty()) << description;
    }
}
