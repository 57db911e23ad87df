// "--switch" killed at any moment, and the hold's ways out firing together: the machine always
// comes back to where it was before the switch, and exactly one "restored" report is written.
#include "harness/lanes.h"
#include "tests/sound/folder_modes.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <latch>
#include <mutex>
#include <thread>

namespace {

using namespace folder_test;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// The host's studio settings as "--save" keeps them, made once on a machine of its own.
const std::string& keptSettings() {
    static const std::string text = [] {
        harness::Machine machine(studioMachine());
        harness::TempDir dir;
        EXPECT_TRUE(saveSettings(machine, dir.path(), studioWanted()));
        return harness::readFile(dir.file("sorvane.json")).value_or("");
    }();
    return text;
}

// A studio machine whose every property write takes `delayMs`, and a folder holding the settings.
struct Stage {
    harness::Machine machine;
    harness::TempDir dir;
    json before;

    explicit Stage(double delayMs) : machine(slowed(delayMs)) {
        harness::writeFile(dir.file("sorvane.json"), keptSettings());
        before = soundState(machine);
    }

    static json slowed(double delayMs) {
        json description = studioMachine();
        description["setDelayMs"] = delayMs;
        return description;
    }

    // Writes take no time from here on, so checks after the race are quick.
    void quicken() {
        json state = machine.state();
        state.erase("setDelayMs");
        machine.write(state);
    }

    void waitForMark() {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!harness::exists(dir.file("switched")) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
};

// Every line a run wrote, up to the end of its output.
std::vector<json> reports(harness::Child& child) {
    std::vector<json> lines;
    while (auto line = child.readLine(15)) {
        lines.push_back(json::parse(*line, nullptr, false));
    }
    return lines;
}

// One switch report, then one restore that put back all six settings, and nothing else.
void expectSwitchedThenRestoredOnce(const std::vector<json>& lines, const std::string& what) {
    ASSERT_EQ(lines.size(), 2u) << what << ": " << json(lines).dump();
    EXPECT_EQ(harness::field(lines[0], "type"), "switched") << what;
    EXPECT_EQ(harness::field(lines[1], "type"), "restored") << what;
    EXPECT_EQ(harness::field(lines[1], "applied").size(), 6u) << what << ": " << lines[1].dump();
    EXPECT_EQ(harness::field(lines[1], "skipped"), json::array()) << what;
}

TEST(Races, SwitchKilledAtAnyMomentIsPutBackByRestore) {
    const double delayMs = 6;
    ASSERT_FALSE(keptSettings().empty());

    // One undisturbed run: how long the switch takes here, and the one right snapshot.
    Milliseconds switchTime, restoreTime;
    std::string snapshot;
    json switchedState;
    {
        Stage stage(delayMs);
        auto started = Clock::now();
        Switch run(stage.machine, stage.dir.path());
        ASSERT_EQ(harness::field(run.switched, "type"), "switched");
        switchTime = Clock::now() - started;
        snapshot = harness::readFile(stage.dir.file("snapshot.json")).value_or("");
        switchedState = soundState(stage.machine);
        started = Clock::now();
        run.child.closeInput();
        ASSERT_EQ(run.child.wait(), 0);
        restoreTime = Clock::now() - started;
        ASSERT_EQ(soundState(stage.machine), stage.before);
    }
    ASSERT_FALSE(snapshot.empty());

    // Moments spread over the start and the switch, over the hold, and over the hold's own restore.
    constexpr int overSwitch = 40, overHold = 10, overRestore = 10;
    constexpr int runs = overSwitch + overHold + overRestore;
    std::mutex counting;
    int untouched = 0, partly = 0, switched = 0;

    harness::inLanes(2, runs, [&](int i) {
        Stage stage(delayMs);
        std::string what = "run " + std::to_string(i);
        auto started = Clock::now();
        harness::Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env());
        if (i < overSwitch) {
            std::this_thread::sleep_until(started + std::chrono::duration_cast<Clock::duration>(
                                                        switchTime * 1.2 * i / overSwitch));
        } else if (i < overSwitch + overHold) {
            ASSERT_EQ(harness::field(parsed(child.readLine()), "type"), "switched") << what;
            std::this_thread::sleep_for(std::chrono::milliseconds(i - overSwitch));
        } else {
            ASSERT_EQ(harness::field(parsed(child.readLine()), "type"), "switched") << what;
            child.closeInput();
            std::this_thread::sleep_for(std::chrono::duration_cast<Clock::duration>(
                restoreTime * (i - overSwitch - overHold) / overRestore));
        }
        child.signal(SIGKILL);
        auto status = child.wait();
        ASSERT_TRUE(status) << what;
        // Only a restore that had already finished may end on its own.
        EXPECT_TRUE(*status == 128 + SIGKILL || (*status == 0 && i >= overSwitch + overHold)) << what << ": " << *status;

        // The snapshot is all there or not there at all.
        auto kept = harness::readFile(stage.dir.file("snapshot.json"));
        if (kept) {
            EXPECT_EQ(*kept, snapshot) << what;
        }
        json killedState = soundState(stage.machine);
        {
            std::lock_guard<std::mutex> hold(counting);
            (killedState == stage.before ? untouched : killedState == switchedState ? switched : partly) += 1;
        }

        stage.quicken();
        auto result = sound(stage.machine, {"--restore", stage.dir.path()});
        EXPECT_EQ(result.status, 0) << what;
        auto lines = result.outLines();
        ASSERT_EQ(lines.size(), 1u) << what << ": " << result.out;
        EXPECT_EQ(harness::field(parsed(lines[0]), "type"), "restored") << what;
        EXPECT_EQ(harness::field(parsed(lines[0]), "skipped"),
                  kept ? json::array() : json::array({"no snapshot to put back"}))
            << what;
        EXPECT_EQ(soundState(stage.machine), stage.before) << what << ", killed with " << killedState.dump();
        EXPECT_FALSE(harness::exists(stage.dir.file("switched"))) << what;
    });
    // The kills did land in the middle of a switch (or of a restore), not only around it.
    EXPECT_GT(partly, 0) << untouched << " untouched, " << switched << " switched";
    EXPECT_GT(untouched, 0);
    EXPECT_GT(switched, 0);
}

// Two ways out at once; the restore is slowed so that the second arrives while the first restores.
TEST(Races, SignalAndEndOfInputTogetherRestoreOnce) {
    ASSERT_FALSE(keptSettings().empty());
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    constexpr int runs = 64;
    harness::inLanes(2, runs, [&](int i) {
        Stage stage(2);
        int signal = signals[i % 3];
        int way = i % 4;
        std::string what = "run " + std::to_string(i) + ", way " + std::to_string(way) + ", " + strsignal(signal);
        harness::Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env());
        std::vector<json> lines;
        if (way == 3) {
            // Both while the switch is still applying: they wait, then end the hold together.
            stage.waitForMark();
        } else {
            lines.push_back(parsed(child.readLine()));
            ASSERT_EQ(harness::field(lines[0], "type"), "switched") << what;
        }
        if (way == 0 || way == 3) {
            child.signal(signal);
            child.closeInput();
        } else if (way == 1) {
            child.closeInput();
            child.signal(signal);
        } else {
            std::latch go(2);
            std::thread signaller([&] {
                go.arrive_and_wait();
                child.signal(signal);
            });
            go.arrive_and_wait();
            child.closeInput();
            signaller.join();
        }
        for (json& line : reports(child)) {
            lines.push_back(std::move(line));
        }
        expectSwitchedThenRestoredOnce(lines, what);
        EXPECT_EQ(child.wait(), 0) << what;
        EXPECT_EQ(soundState(stage.machine), stage.before) << what;
        EXPECT_FALSE(harness::exists(stage.dir.file("switched"))) << what;
    });
}

// The parent watch looks once a second; the signal is sent around that moment, while a slow
// restore is under way, so the two watchers meet at the one lock.
TEST(Races, ParentDeathAndSignalTogetherRestoreOnce) {
    ASSERT_FALSE(keptSettings().empty());
    constexpr int runs = 40;
    harness::inLanes(10, runs, [&](int i) {
        Stage stage(15);
        int signal = i % 2 ? SIGTERM : SIGHUP;
        auto offset = std::chrono::milliseconds(850 + (i % 8) * 30);
        std::string what = "run " + std::to_string(i) + ", signal after " + std::to_string(offset.count()) + " ms";
        harness::Child child(harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env(),
                             true);
        json switched = parsed(child.readLine());
        auto held = Clock::now();
        ASSERT_EQ(harness::field(switched, "type"), "switched") << what;
        child.killParent();
        std::this_thread::sleep_until(held + offset);
        child.signal(signal);
        auto lines = reports(child);
        lines.insert(lines.begin(), switched);
        expectSwitchedThenRestoredOnce(lines, what);
        EXPECT_EQ(child.wait(), 0) << what;
        EXPECT_EQ(soundState(stage.machine), stage.before) << what;
        EXPECT_FALSE(harness::exists(stage.dir.file("switched"))) << what;
    });
}

}  // namespace
