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

// A switch after a killed one finds the devices as the host wants them: the first snapshot, of
// the state before, stays. A second restore changes nothing more.
TEST(Restore, KilledSwitchThenSwitchAgainThenRestoreTwice) {
    Stage stage;
    ASSERT_EQ(Switch(stage).switched, studioSwitched);  // then killed in the hold
    auto snapshot = harness::readFile(stage.file("snapshot.json"));
    Switch again(stage);
    EXPECT_EQ(again.switched.value("snapshot", ""), "kept");
    EXPECT_EQ(harness::readFile(stage.file("snapshot.json")), snapshot);
    EXPECT_EQ(again.restore(), restoredReport(studioRestored, {}));
    EXPECT_EQ(soundState(stage.machine), stage.before);
    stage.machine.clearLog();
    EXPECT_EQ(sound(stage.machine, {"--restore", stage.dir.path()}).out, restoredReport({}, {}).dump() + "\n");
    EXPECT_EQ(soundState(stage.machine), stage.before);
    EXPECT_EQ(harness::readFile(stage.file("snapshot.json")), snapshot);
    EXPECT_TRUE(stage.machine.calls("AudioObjectSetPropertyData").empty());
}
