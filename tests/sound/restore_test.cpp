// "--restore DIR": the machine as it was before the switch, and nothing done twice.
#include "harness/lanes.h"
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

// A device slower than the switch waits for (a Bluetooth one changing its rate): the switch gives
// up on the rate, the host lets go at once, and the restore reads the old rate while the new one is
// still on its way. It writes it back all the same, and the snapshot notes it for a "--restore"
// after a killed hold, which writes it back even where the device still reads as before.
TEST(Restore, ChangesThatLandLateArePutBackToo) {
    const json wanted = {{"output", {{"uid", "studio"}, {"name", "Studio"}, {"rate", 96000}}}};
    Stage held(wanted, studioMachine(2500));
    Switch run(held);
    EXPECT_EQ(run.switched["skipped"], json({"the output Studio as the default", "the output Studio at 96000 Hz"}));
    run.child.closeInput();
    EXPECT_EQ(harness::field(parsed(run.child.readLine()), "type"), "restored");
    EXPECT_EQ(run.child.wait(), 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(soundState(held.machine), held.before);

    Stage killed(wanted, studioMachine(2500));
    EXPECT_EQ(Switch(killed).switched.value("snapshot", ""), "taken");  // then killed in the hold
    auto snapshot = json::parse(harness::readFile(killed.file("snapshot.json")).value_or(""), nullptr, false);
    EXPECT_EQ(snapshot.value("unsettled", json()), json({{"defaults", {"output"}}, {"rates", {"studio"}}}));
    json late = killed.machine.state();
    late["setDelayMs"] = 0;
    late["devices"][1]["rate"] = 48000;  // as a device may read while it changes
    killed.machine.write(late);
    EXPECT_EQ(sound(killed.machine, {"--restore", killed.dir.path()}).out,
              restoredReport({"Studio at 48000 Hz", "the output Speakers as the default"}, {}).dump() + "\n");
    EXPECT_EQ(soundState(killed.machine), killed.before);
    // Once restored, nothing is unsettled any more.
    EXPECT_EQ(sound(killed.machine, {"--restore", killed.dir.path()}).out, restoredReport({}, {}).dump() + "\n");
}

// After a switch and its restore the user picks the host's settings as their own. The next switch
// finds them in place, and neither its restore nor a later "--restore" takes them away again.
TEST(Restore, TheUsersOwnChoiceAfterARestoreStays) {
    Stage stage;
    Switch first(stage);
    json chosen = stage.machine.state();
    first.restore();
    stage.machine.write(chosen);
    json before = soundState(stage.machine);
    Switch again(stage);
    EXPECT_EQ(again.switched, json({{"type", "switched"}, {"snapshot", "kept"}, {"applied", json::array()},
                                    {"skipped", json::array()}}));
    EXPECT_EQ(again.restore(), restoredReport({}, {}));
    EXPECT_EQ(soundState(stage.machine), before);
    EXPECT_EQ(sound(stage.machine, {"--restore", stage.dir.path()}).out, restoredReport({}, {}).dump() + "\n");
    EXPECT_EQ(soundState(stage.machine), before);
}
