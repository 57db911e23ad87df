// "--switch" killed at any moment, and the hold's ways out firing together: the machine always comes
// back to where it was before the switch, and exactly one "restored" report is written.
#include "harness/lanes.h"
#include "tests/sound/sound_runs.h"

#include <signal.h>

#include <latch>
#include <mutex>

using namespace sound_test;
using Clock = std::chrono::steady_clock;

TEST(Races, SwitchKilledAtAnyMomentIsPutBackByRestore) {
    // One undisturbed run: how long the switch and its restore take here, and the one right snapshot.
    Clock::duration switchTime, restoreTime;
    std::string snapshot;
    json switchedState;
    {
        Stage stage(studioWanted(), studioMachine(6));
        auto started = Clock::now();
        Switch run(stage);
        ASSERT_EQ(run.switched, studioSwitched);
        switchTime = Clock::now() - started;
        snapshot = harness::readFile(stage.file("snapshot.json")).value_or("");
        switchedState = soundState(stage.machine);
        started = Clock::now();
        run.child.closeInput();
        ASSERT_EQ(run.child.wait(), 0);
        restoreTime = Clock::now() - started;
    }
    // Moments spread over the start and the switch, over the hold, and over the hold's own restore.
    constexpr int overSwitch = 40, overHold = 10, overRestore = 10;
    std::mutex counting;
    int untouched = 0, partly = 0, switched = 0;
    harness::inLanes(2, overSwitch + overHold + overRestore, [&](int i) {
        Stage stage(studioWanted(), studioMachine(6));
        std::string what = "run " + std::to_string(i);
        auto started = Clock::now();
        auto child = startSwitch(stage);
        if (i < overSwitch) {
            std::this_thread::sleep_until(started + switchTime * 6 / 5 * i / overSwitch);
        } else {
            ASSERT_EQ(parsed(child.readLine()), studioSwitched) << what;
            if (i < overSwitch + overHold) {
                std::this_thread::sleep_for(std::chrono::milliseconds(i - overSwitch));
            } else {
                child.closeInput();
                std::this_thread::sleep_for(restoreTime * (i - overSwitch - overHold) / overRestore);
            }
        }
        child.signal(SIGKILL);
        auto status = child.wait();
        // Only a restore that had already finished may end on its own.
        EXPECT_TRUE(status == 128 + SIGKILL || (status == 0 && i >= overSwitch + overHold)) << what;
        // The snapshot is all there or not there at all.
        auto kept = harness::readFile(stage.file("snapshot.json"));
        EXPECT_EQ(kept.value_or(snapshot), snapshot) << what;
        json killedState = soundState(stage.machine);
        {
            std::lock_guard<std::mutex> hold(counting);
            (killedState == stage.before ? untouched : killedState == switchedState ? switched : partly) += 1;
        }
        json quick = stage.machine.state();  // writes take no time from here on
        quick.erase("setDelayMs");
        stage.machine.write(quick);
        auto result = sound(stage.machine, {"--restore", stage.dir.path()});
        json restored = parsed(result.out);  // not JSON unless one line
        EXPECT_EQ(result.status, 0) << what;
        EXPECT_EQ(harness::field(restored, "type"), "restored") << what << ": " << result.out;
        EXPECT_EQ(harness::field(restored, "skipped"), kept ? json::array() : json{"no snapshot to put back"}) << what;
        EXPECT_EQ(soundState(stage.machine), stage.before) << what << ", killed with " << killedState.dump();
        EXPECT_FALSE(harness::exists(stage.file("switched"))) << what;
    });
    // The kills did land in the middle of a switch (or of a restore), not only around it.
    EXPECT_GT(partly, 0) << untouched << " untouched, " << switched << " switched";
    EXPECT_GT(untouched, 0);
    EXPECT_GT(switched, 0);
}

// Two ways out at once; writes are slowed so that the second arrives while the first restores.
// The parent watch looks once a second: way 4 kills the parent and sends the signal around that
// moment, so the two watchers meet at the one lock.
TEST(Races, TwoWaysOutTogetherRestoreOnce) {
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    harness::inLanes(4, 80, [&](int i) {
        int signal = signals[i % 3], way = i % 5;
        Stage stage(studioWanted(), studioMachine(way == 4 ? 15 : 2));
        std::string what = "run " + std::to_string(i) + ", way " + std::to_string(way) + ", " + strsignal(signal);
        auto child = startSwitch(stage, way == 4);
        std::vector<json> lines;
        if (way == 3) {
            waitForMark(stage);  // both while the switch still applies: they wait, then end the hold together
        } else {
            lines.push_back(parsed(child.readLine()));
        }
        if (way == 0 || way == 3) {
            child.signal(signal);
            child.closeInput();
        } else if (way == 1) {
            child.closeInput();
            child.signal(signal);
        } else if (way == 2) {
            std::latch go(2);
            std::thread signaller([&] {
                go.arrive_and_wait();
                child.signal(signal);
            });
            go.arrive_and_wait();
            child.closeInput();
            signaller.join();
        } else {
            child.awaitSleep("pipe_read");  // the hold has taken note of its parent
            auto held = Clock::now();
            child.killParent();
            std::this_thread::sleep_until(held + std::chrono::milliseconds(850 + (i % 8) * 30));
            child.signal(signal);
        }
        expectSwitchedThenRestoredOnce(stage, child, lines, what);
    });
}
