// How a capture starts and every way it ends: the order of the platform calls, the exit status,
// and that the IO procedure never allocates.
#include "tap_runs.h"

#include <algorithm>
#include <csignal>

namespace {

using namespace tap_test;

// A running capture of x.music on the real-time clock, past its first cycle.
struct Running {
    explicit Running(const json& description = tap_test::machine(), bool viaParent = false,
                     std::vector<std::string> args = {"--bundle-id", "x.music"})
        : machine(description), child(harness::program("sorvane-tap"), args, machine.env(), viaParent) {
        firstBytes = child.readBytes(512 * 8, 10);
    }
    harness::Machine machine;
    harness::Child child;
    std::string firstBytes;
};

void expectCleanEnd(Running& run, const std::string& how) {
    auto status = run.child.wait(5);
    ASSERT_TRUE(status.has_value()) << how << ": still running";
    EXPECT_EQ(*status, 0) << how;
    EXPECT_EQ(teardown(run.machine), orderedTeardown) << how;
    // The stop returns after the cycle in progress, so nothing is written after it: the log's
    // last line is the exit line, with every string released once.
    auto log = run.machine.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().value("fn", ""), "exit") << how;
    EXPECT_EQ(log.back().value("stringsAlive", -1), 0) << how;
    EXPECT_EQ(log.back().value("overReleases", -1), 0) << how;
    std::string err = run.child.error();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << how << ": only the format report, got " << err;
    EXPECT_EQ(json::parse(err.substr(0, err.find('\n'))).value("type", ""), "format") << how;
    for (const std::string& fn : teardown(run.machine)) {
        json line = firstCall(run.machine, fn);
        EXPECT_EQ(line.value("status", -1), 0) << fn << " after " << how;
    }
}

TEST(Ends, Signals) {
    for (int signal : {SIGTERM, SIGINT}) {
        Running run;
        ASSERT_EQ(run.firstBytes.size(), 512u * 8);
        run.child.signal(signal);
        expectCleanEnd(run, signal == SIGTERM ? "SIGTERM" : "SIGINT");
    }
}

// The reader goes away: the next write fails instead of killing the process with SIGPIPE.
TEST(Ends, ReaderClosesThePipe) {
    Running run;
    ASSERT_EQ(run.firstBytes.size(), 512u * 8);
    run.child.closeOutput();
    expectCleanEnd(run, "closed pipe");
}

TEST(Ends, SigpipeNeverKillsACapture) {
    Running run;
    ASSERT_EQ(run.firstBytes.size(), 512u * 8);
    run.child.signal(SIGPIPE);
    EXPECT_FALSE(run.child.wait(0.5).has_value()) << "a stray SIGPIPE must not end the capture";
    EXPECT_EQ(run.child.readBytes(512 * 8, 5).size(), 512u * 8) << "still capturing";
    run.child.signal(SIGTERM);
    expectCleanEnd(run, "SIGTERM after SIGPIPE");
}

TEST(Ends, ParentDies) {
    Running run(tap_test::machine(), true);
    ASSERT_EQ(run.firstBytes.size(), 512u * 8);
    run.child.awaitTimedSleep();  // the capture has taken note of its parent
    run.child.killParent();
    expectCleanEnd(run, "parent gone");
}

// The calls of a start, in order, and what the tap and its device are made of.
TEST(Ends, StartSequence) {
    Running run;
    run.child.signal(SIGTERM);
    ASSERT_EQ(run.child.wait(5).value_or(-1), 0);

    std::vector<std::string> made;
    for (const std::string& fn : calls(run.machine)) {
        if (fn == "AudioHardwareCreateProcessTap" || fn == "AudioHardwareCreateAggregateDevice" ||
            fn == "AudioDeviceCreateIOProcID" || fn == "AudioDeviceStart") {
            made.push_back(fn);
        }
    }
    EXPECT_EQ(made, (std::vector<std::string>{"AudioHardwareCreateProcessTap", "AudioHardwareCreateAggregateDevice",
                                              "AudioDeviceCreateIOProcID", "AudioDeviceStart"}));

    json tapLine = firstCall(run.machine, "AudioHardwareCreateProcessTap");
    ASSERT_TRUE(tapLine.is_object());
    EXPECT_EQ(tapLine["description"]["name"], "Sorvane");
    EXPECT_EQ(tapLine["description"]["private"], true);
    EXPECT_EQ(tapLine["description"]["muteBehavior"], 0);
    EXPECT_EQ(tapLine["description"]["mixdown"], true);
    EXPECT_EQ(tapLine["description"]["processes"].size(), 1u);
    EXPECT_EQ(tapLine.value("status", -1), 0);
    EXPECT_EQ(firstCall(run.machine, "AudioHardwareCreateAggregateDevice").value("status", -1), 0);
}

// Two runs make two aggregate devices with different UIDs.
TEST(Ends, EachRunHasANewDeviceUID) {
    std::vector<std::string> uids;
    for (int i = 0; i < 2; ++i) {
        Running run;
        run.child.signal(SIGTERM);
        ASSERT_EQ(run.child.wait(5).value_or(-1), 0);
        json line = firstCall(run.machine, "AudioHardwareCreateAggregateDevice");
        ASSERT_TRUE(line.is_object());
        uids.push_back(line.value("uid", ""));
        EXPECT_EQ(line.value("name", ""), "Sorvane tap");
        EXPECT_EQ(line["taps"], json({firstCall(run.machine, "AudioHardwareCreateProcessTap").value("uuid", "")}))
            << "the aggregate holds the tap that was made";
    }
    EXPECT_EQ(uids[0].size(), 36u);
    EXPECT_NE(uids[0], uids[1]);
}

// Allocations on the IO thread inside the procedure, counted by the platform over a capture on
// the direct path and on both copying paths.
TEST(Ends, IoProcedureAllocatesNothing) {
    struct Case {
        const char* name;
        json tap;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"direct", {{"clock", "fast"}, {"cycles", 200}}, {"--bundle-id", "x.music"}},
        {"interleaved copy",
         {{"clock", "fast"}, {"cycles", 200}},
         {"--device", "studio", "--master", "5", "--pid", "505"}},
        {"separate buffers", {{"clock", "fast"}, {"cycles", 200}, {"interleaved", false}}, {"--bundle-id", "x.music"}},
    };
    for (const Case& c : cases) {
        Running run(withTap(c.tap), false, c.args);
        ASSERT_EQ(run.child.readBytes(199 * 512 * 8, 10).size(), 199u * 512 * 8) << c.name;
        run.child.signal(SIGTERM);
        ASSERT_EQ(run.child.wait(5).value_or(-1), 0) << c.name;
        json stop = firstCall(run.machine, "AudioDeviceStop");
        ASSERT_TRUE(stop.contains("procAllocations")) << c.name << ": " << stop.dump();
        EXPECT_EQ(stop["procAllocations"], 0) << c.name;
        EXPECT_EQ(stop.value("cycles", 0), 200) << c.name << ": every cycle was counted";
    }
}

}  // namespace
