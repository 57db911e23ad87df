// "--restore DIR" and the restore at the end of a hold: the machine as it was before the switch.
#include "tests/sound/folder_modes.h"

#include <signal.h>

namespace {

using namespace folder_test;

const json nothingToPutBack = restoredReport({}, {"no snapshot to put back"});

json restoreLine(const harness::Result& result) {
    auto lines = result.outLines();
    return lines.size() == 1 ? parsed(lines[0]) : json(result.out);
}

TEST(Restore, EveryTouchedDeviceAsBefore) {
    json description = studioMachine();
    description["devices"].push_back(
        {{"uid", "wide"}, {"name", "Wide"}, {"rate", 48000}, {"output", {10}}, {"volume", {{"1", 1}, {"2", 0.5}, {"10", 0}}}});
    harness::Machine machine(description);
    harness::TempDir dir;
    // The host's own others, an output held now as the input, an input that is also an output.
    json wanted = {{"others", {{{"uid", "wide"}, {"rate", 96000}, {"volume", {{"1", 0}, {"2", 0}, {"10", 1}}}}}},
                   {"output", studioWanted()["output"]},
                   {"input", {{"uid", "headset"}, {"rate", 8000}}}};
    ASSERT_TRUE(saveSettings(machine, dir.path(), wanted));
    json changedInput = machine.state();
    changedInput["defaultInput"] = "studio";
    machine.write(changedInput);
    json before = soundState(machine);

    auto round = switchAndRestore(machine, dir.path());
    EXPECT_EQ(round.switched["skipped"], json::array());
    EXPECT_EQ(round.restored["skipped"], json::array());
    EXPECT_EQ(round.status, 0);
    EXPECT_EQ(round.rest, "");
    json after = soundState(machine);
    EXPECT_EQ(after["defaultOutput"], before["defaultOutput"]);
    EXPECT_EQ(after["defaultInput"], before["defaultInput"]);
    EXPECT_EQ(after["devices"]["studio"], before["devices"]["studio"]);
    EXPECT_EQ(after["devices"]["headset"], before["devices"]["headset"]);
    // The host's own further devices are put back too.
    EXPECT_EQ(after["devices"]["wide"], before["devices"]["wide"]);
    EXPECT_EQ(after, before);
}

TEST(Restore, UnpluggedDeviceIsSkippedAndTheRestRestored) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    json before = soundState(machine);
    Switch run(machine, dir.path());
    ASSERT_EQ(run.switched.value("snapshot", ""), "taken");

    unplug(machine, "spk");  // the default output before the switch
    EXPECT_EQ(run.restore(), restoredReport({"Studio at 48000 Hz", "Studio's channel layout", "Studio's volume",
                                             "Studio's volume", "the input Mic as the default"},
                                            {"the output Speakers: not connected"}));
    EXPECT_EQ(run.child.wait(), 0);
    json after = soundState(machine);
    EXPECT_EQ(after["defaultInput"], "mic");
    EXPECT_EQ(after["devices"]["studio"], before["devices"]["studio"]);
    EXPECT_EQ(after["devices"]["mic"], before["devices"]["mic"]);
    EXPECT_FALSE(harness::exists(dir.file("switched")));
}

TEST(Restore, TwiceChangesNothingMore) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    json before = soundState(machine);
    auto round = switchAndRestore(machine, dir.path());
    ASSERT_EQ(round.status, 0);
    auto snapshot = harness::readFile(dir.file("snapshot.json"));
    ASSERT_TRUE(snapshot);

    machine.clearLog();
    auto again = sound(machine, {"--restore", dir.path()});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(restoreLine(again), restoredReport({}, {}));
    EXPECT_EQ(soundState(machine), before);
    EXPECT_EQ(harness::readFile(dir.file("snapshot.json")), snapshot);
    for (const auto& call : machine.log()) {
        EXPECT_NE(call.value("fn", ""), "AudioObjectSetPropertyData") << call.dump();
    }
}

TEST(Restore, NothingToPutBack) {
    struct Case {
        const char* what;
        std::optional<std::string> snapshot;
        bool mark;
    };
    const Case cases[] = {
        {"an empty folder", std::nullopt, false},
        {"a mark but no snapshot", std::nullopt, true},
        {"an empty snapshot file", "", true},
        {"a snapshot that is not a record", R"({"output":{"name":"no uid"}})", false},
    };
    for (const auto& c : cases) {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        if (c.snapshot) {
            harness::writeFile(dir.file("snapshot.json"), *c.snapshot);
        }
        if (c.mark) {
            harness::writeFile(dir.file("switched"), "2026-03-14T09:26:53Z");
        }
        json before = soundState(machine);
        auto result = sound(machine, {"--restore", dir.path()});
        EXPECT_EQ(result.status, 0) << c.what;
        EXPECT_EQ(restoreLine(result), nothingToPutBack) << c.what;
        EXPECT_EQ(soundState(machine), before) << c.what;
        EXPECT_FALSE(harness::exists(dir.file("switched"))) << c.what;
        EXPECT_EQ(harness::readFile(dir.file("snapshot.json")), c.snapshot) << c.what;
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            ++files;
        }
        EXPECT_EQ(files, c.snapshot ? 1u : 0u) << c.what;
    }
}

TEST(Restore, AfterTheSwitchWasKilled) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    json before = soundState(machine);
    {
        Switch run(machine, dir.path());
        ASSERT_EQ(run.switched.value("type", ""), "switched");
        run.child.signal(SIGKILL);
        EXPECT_EQ(run.child.wait(), 128 + SIGKILL);
        EXPECT_EQ(run.child.restOfOutput(), "");
    }
    EXPECT_NE(soundState(machine), before);
    EXPECT_TRUE(harness::exists(dir.file("switched")));

    auto result = sound(machine, {"--restore", dir.path()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(restoreLine(result)["skipped"], json::array());
    EXPECT_EQ(soundState(machine), before);
    EXPECT_FALSE(harness::exists(dir.file("switched")));

    // A second switch after the crash finds the devices already put back and takes a fresh
    // snapshot of that same state.
    auto round = switchAndRestore(machine, dir.path());
    EXPECT_EQ(round.status, 0);
    EXPECT_EQ(soundState(machine), before);
}

TEST(Restore, KilledSwitchThenSwitchAgainKeepsTheFirstSnapshot) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    ASSERT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
    json before = soundState(machine);
    {
        Switch run(machine, dir.path());
        run.child.signal(SIGKILL);
        run.child.wait();
    }
    auto snapshot = harness::readFile(dir.file("snapshot.json"));
    // The devices still stand as the host wants them: the snapshot of the original state stays.
    Switch again(machine, dir.path());
    EXPECT_EQ(again.switched.value("snapshot", ""), "kept");
    EXPECT_EQ(harness::readFile(dir.file("snapshot.json")), snapshot);
    again.restore();
    EXPECT_EQ(again.child.wait(), 0);
    EXPECT_EQ(soundState(machine), before);
}

}  // namespace
