// The hold after "--switch": every way the host lets go restores exactly once and exits 0.
#include "harness/lanes.h"
#include "tests/sound/sound_runs.h"

#include <signal.h>

#include <functional>

using namespace sound_test;
using Child = harness::Child;

TEST(Hold, EachEndingRestoresOnce) {
    struct Case {
        const char* what;
        std::function<void(Child&)> end;
        bool duringSwitch = false;  // while a slowed switch still applies: the switch report comes first
        bool viaParent = false;
    };
    const Case cases[] = {
        {"the line restore", [](Child& c) { c.write("restore\n"); }},
        {"spaces, tabs and Unicode space separators around it", [](Child& c) {
             c.write(" \t\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005restore"
                     "\u2006\u2007\u2008\u2009\u200A\u202F\u205F\u3000\n");
         }},
        {"a CR LF line ending", [](Child& c) { c.write("restore\r\n"); }},
        {"after lines that are not it", [](Child& c) {
             // Line breaks and characters that only look empty are not space separators.
             c.write("Restore\nrestore now\nre store\nRESTORE\nrestore.\n\n   \n\vrestore\nrestore\f\n\u200Brestore\n"
                     "restore\u2028\nrestore\xC2\n");
             EXPECT_EQ(c.readLine(0.5), std::nullopt);
             c.write("restore\nrestore\n");
         }},
        {"a last line without line feed", [](Child& c) { c.write("restore"); c.closeInput(); }},
        {"end of input", [](Child& c) { c.closeInput(); }},
        {"SIGTERM", [](Child& c) { c.signal(SIGTERM); }},
        {"three signals", [](Child& c) { c.signal(SIGHUP); c.signal(SIGTERM); c.signal(SIGINT); }},
        // The parent is taken note of once the hold starts, as its read of standard input does.
        {"parent killed, input still open", [](Child& c) { c.awaitSleep("pipe_read"); c.killParent(); }, false, true},
        {"SIGTERM during the switch", [](Child& c) { c.signal(SIGTERM); }, true},
        // A launcher gone during the switch is not the host, which still holds standard input.
        {"launcher gone during the switch", [](Child& c) {
             c.killParent();
             c.awaitSleep("pipe_read");
             std::this_thread::sleep_for(std::chrono::seconds(2));  // two looks of the parent watch
             EXPECT_TRUE(harness::stillRunning(c.pid())) << "the hold ended while the host held on";
             c.closeInput();
         }, true, true},
    };
    for (const auto& c : cases) {
        Stage stage(studioWanted(), studioMachine(c.duringSwitch ? 100 : 0));
        auto child = startSwitch(stage, c.viaParent);
        std::vector<json> lines;
        if (c.duringSwitch) {
            waitForMark(stage);  // signals are blocked before the mark is written
        } else {
            lines.push_back(parsed(child.readLine()));
        }
        c.end(child);
        expectSwitchedThenRestoredOnce(stage, child, lines, c.what);
    }
}

// SIGPIPE is ignored: the restore still finishes when nobody reads its report.
TEST(Hold, RestoreFinishesWhenNobodyReadsItsReport) {
    Stage stage;
    Switch run(stage);
    run.child.closeOutput();
    run.child.write("restore\n");
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_EQ(soundState(stage.machine), stage.before);
    EXPECT_FALSE(harness::exists(stage.file("switched")));
}

// The audio service restarts during the hold and brings the speakers back as the default, as it
// keeps them: the restore still puts everything back, once.
TEST(Hold, ServiceRestartDuringTheHold) {
    Stage stage;
    Switch run(stage);
    ASSERT_EQ(run.switched, studioSwitched);
    json restarted = stage.machine.state();
    restarted["restarts"] = 1;
    restarted["defaultOutput"] = "spk";
    stage.machine.write(restarted);
    run.child.closeInput();
    EXPECT_EQ(harness::field(parsed(run.child.readLine()), "type"), "restored");
    EXPECT_EQ(run.child.readLine(1), std::nullopt);
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_EQ(soundState(stage.machine), stage.before);
}

// A launcher may leave the hold's signals ignored (nohup's SIGHUP, a background job's SIGINT), and
// XNU throws an ignored signal away even while it is blocked. Linux keeps it, so what shows here
// is the action: none stays ignored during the hold, and each still restores once.
TEST(Hold, SignalsLeftIgnoredByTheLauncher) {
    const std::vector<int> endings = {SIGTERM, SIGINT, SIGHUP};
    std::uint64_t mask = 0;
    for (int signal : endings) mask |= 1ull << (signal - 1);
    for (int signal : endings) {
        Stage stage;
        Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env(), false, endings);
        std::vector<json> lines = {parsed(child.readLine())};
        EXPECT_EQ(harness::ignoredSignals(child.pid()) & mask, 0u) << strsignal(signal);
        child.signal(signal);
        expectSwitchedThenRestoredOnce(stage, child, lines, strsignal(signal));
    }
}
