// The hold after "--switch": every way the host lets go restores exactly once and exits 0.
#include "tests/sound/folder_modes.h"

#include <signal.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

namespace {

using namespace folder_test;
using Clock = std::chrono::steady_clock;

const json restoredStudio = restoredReport({"Studio at 48000 Hz", "Studio's channel layout", "Studio's volume",
                                            "Studio's volume", "the output Speakers as the default",
                                            "the input Mic as the default"},
                                           {});

// A machine and a folder with the host's studio settings saved.
struct Stage {
    harness::Machine machine;
    harness::TempDir dir;
    json before;

    explicit Stage(json description = studioMachine()) : machine(std::move(description)) {
        EXPECT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
        before = soundState(machine);
    }
};

// After the ending: one "restored" report and nothing more, exit status 0, the machine as before.
void expectOneRestore(Stage& stage, harness::Child& child, const std::string& what, double within = 10) {
    EXPECT_EQ(parsed(child.readLine(within)), restoredStudio) << what;
    EXPECT_EQ(child.wait(), 0) << what;
    EXPECT_EQ(child.restOfOutput(), "") << what;
    EXPECT_EQ(child.error(), "") << what;
    EXPECT_EQ(soundState(stage.machine), stage.before) << what;
    EXPECT_FALSE(harness::exists(stage.dir.file("switched"))) << what;
}

TEST(Hold, EachEndingRestoresOnce) {
    struct Case {
        const char* what;
        std::function<void(harness::Child&)> end;
    };
    const Case cases[] = {
        {"the line restore", [](harness::Child& c) { c.write("restore\n"); }},
        {"spaces and tabs around it", [](harness::Child& c) { c.write(" \t restore\t  \n"); }},
        {"Unicode space separators around it",
         [](harness::Child& c) { c.write("\u00A0\u2003restore\u3000\u202F\u205F\n"); }},
        {"a CR LF line ending", [](harness::Child& c) { c.write("restore\r\n"); }},
        {"after other lines", [](harness::Child& c) { c.write("hello\n\nrestore\nrestore\n"); }},
        {"as a last line without line feed", [](harness::Child& c) {
             c.write("restore");
             c.closeInput();
         }},
        {"end of input", [](harness::Child& c) { c.closeInput(); }},
        {"SIGTERM", [](harness::Child& c) { c.signal(SIGTERM); }},
        {"SIGINT", [](harness::Child& c) { c.signal(SIGINT); }},
        {"SIGHUP", [](harness::Child& c) { c.signal(SIGHUP); }},
        {"three signals", [](harness::Child& c) {
             c.signal(SIGHUP);
             c.signal(SIGTERM);
             c.signal(SIGINT);
         }},
    };
    for (const auto& c : cases) {
        Stage stage;
        Switch run(stage.machine, stage.dir.path());
        ASSERT_EQ(run.switched.value("type", ""), "switched") << c.what;
        c.end(run.child);
        expectOneRestore(stage, run.child, c.what);
    }
}

TEST(Hold, OtherLinesAreIgnored) {
    Stage stage;
    Switch run(stage.machine, stage.dir.path());
    json switchedState = soundState(stage.machine);
    run.child.write("Restore\nrestore now\nre store\nRESTORE\nrestore.\n\u200Brestore\n\n   \n");
    EXPECT_EQ(run.child.readLine(0.5), std::nullopt);
    EXPECT_EQ(run.child.wait(0.1), std::nullopt);
    EXPECT_EQ(soundState(stage.machine), switchedState);
    run.child.write("restore\n");
    expectOneRestore(stage, run.child, "restore after ignored lines");
}

// The switch is slowed down so that the signal surely arrives while it is under way.
TEST(Hold, SignalDuringTheSwitchWaitsForTheReport) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        json description = studioMachine();
        description["setDelayMs"] = 100;
        Stage stage(description);
        harness::Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env());
        // The mark is written before anything is applied, and signals are blocked before that.
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!harness::exists(stage.dir.file("switched")) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(harness::exists(stage.dir.file("switched")));
        child.signal(signal);
        json switched = parsed(child.readLine());
        EXPECT_EQ(switched.value("applied", json()).size(), 6u) << switched.dump();
        EXPECT_EQ(switched.value("skipped", json()), json::array());
        expectOneRestore(stage, child, strsignal(signal));
    }
}

TEST(Hold, TwoEndingsAtOnceRestoreOnce) {
    {
        Stage stage;
        Switch run(stage.machine, stage.dir.path());
        run.child.write("restore\n");
        run.child.signal(SIGTERM);
        run.child.closeInput();
        expectOneRestore(stage, run.child, "line, signal and end of input together");
    }
    {
        json description = studioMachine();
        description["setDelayMs"] = 100;
        Stage stage(description);
        harness::Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env());
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!harness::exists(stage.dir.file("switched")) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        child.signal(SIGINT);
        child.closeInput();
        EXPECT_EQ(parsed(child.readLine()).value("type", ""), "switched");
        expectOneRestore(stage, child, "signal and end of input during the switch");
    }
}

// How soon is measured in bench/; here only that it comes.
TEST(Hold, ParentKilledRestores) {
    Stage stage;
    Switch run(stage.machine, stage.dir.path(), true);
    ASSERT_EQ(run.switched.value("type", ""), "switched");
    // Standard input stays open here: only the parent watch can notice.
    run.child.killParent();
    expectOneRestore(stage, run.child, "parent killed");
}

// A host that dies before the switch is done is noticed as well, once the switch has reported.
TEST(Hold, ParentKilledDuringTheSwitch) {
    json description = studioMachine();
    description["setDelayMs"] = 100;
    Stage stage(description);
    harness::Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env(), true);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!harness::exists(stage.dir.file("switched")) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    child.killParent();
    EXPECT_EQ(parsed(child.readLine()).value("type", ""), "switched");
    expectOneRestore(stage, child, "parent killed during the switch");
}

TEST(Hold, RestoreFinishesWhenNobodyReadsItsReport) {
    Stage stage;
    Switch run(stage.machine, stage.dir.path());
    run.child.closeOutput();
    run.child.write("restore\n");
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_EQ(soundState(stage.machine), stage.before);
    EXPECT_FALSE(harness::exists(stage.dir.file("switched")));
}

}  // namespace
