// Every platform call failing in turn, for the list and for each kind of capture: the tool may
// fail, but never crashes, writes only whole JSON lines as reports and exits 0 or 1.
#include "harness/lanes.h"
#include "harness/platform_faults.h"
#include "tap_runs.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace {

using namespace tap_test;
using Clock = std::chrono::steady_clock;

struct Mode {
    const char* name;
    std::vector<std::string> args;
};

const std::vector<Mode> modes = {
    {"list", {"--list"}},
    {"mixdown of an app", {"--bundle-id", "x.music"}},
    {"mixdown of a process", {"--pid", "501"}},
    {"one device stream", {"--pid", "505", "--device", "studio", "--master", "5"}},
};

struct Outcome {
    std::optional<int> status;
    std::string out, err;
};

// A list runs to its end. A capture runs until its first report, and is then stopped if that
// report says it is capturing.
Outcome runMode(const harness::Machine& machine, const Mode& mode) {
    harness::Child child(harness::program("sorvane-tap"), mode.args, machine.env());
    child.closeInput();
    Outcome outcome;
    if (mode.args[0] != "--list") {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (harness::stillRunning(child.pid()) && child.error().find('\n') == std::string::npos &&
               Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // Before the stop handler is in place a signal would end it by default; it is in place
        // by the format report, and an error report ends the run by itself.
        if (child.error().find("\"format\"") != std::string::npos) {
            child.signal(SIGTERM);
        }
    }
    outcome.status = child.wait(10);
    if (!outcome.status) {
        child.signal(SIGKILL);
        child.wait(5);
        return outcome;  // no status: it did not end
    }
    outcome.out = child.restOfOutput();
    outcome.err = child.error();
    return outcome;
}

TEST(TapFaults, EveryPlatformCallFailingInTurn) {
    const auto cases = harness::platformFaults();
    const int runs = static_cast<int>(cases.size() * modes.size());
    harness::inLanes(6, runs, [&](int i) {
        const auto& c = cases[static_cast<std::size_t>(i) / modes.size()];
        const Mode& mode = modes[static_cast<std::size_t>(i) % modes.size()];
        std::string what = std::string(mode.name) + " with " + c.name;
        harness::Machine machine(c.machine);
        Outcome outcome = runMode(machine, mode);
        ASSERT_TRUE(outcome.status) << what << ": still running";
        EXPECT_TRUE(*outcome.status == 0 || *outcome.status == 1) << what << ": exit " << *outcome.status << ", "
                                                                  << outcome.err;
        std::string bad;
        EXPECT_TRUE(harness::onlyJsonLines(outcome.err, bad)) << what << ": " << bad;
        std::size_t reports = std::count(outcome.err.begin(), outcome.err.end(), '\n');
        if (*outcome.status == 1) {
            EXPECT_EQ(reports, 1u) << what << ": " << outcome.err;
            EXPECT_EQ(harness::field(json::parse(outcome.err, nullptr, false), "type"), "error") << what;
        }
        if (mode.args[0] == "--list") {
            EXPECT_TRUE(harness::onlyJsonLines(outcome.out, bad)) << what << ": " << bad;
            EXPECT_LE(reports, 1u) << what;
        } else if (*outcome.status == 0) {
            EXPECT_EQ(reports, 1u) << what << ": " << outcome.err;
            EXPECT_EQ(harness::field(json::parse(outcome.err, nullptr, false), "type"), "format") << what;
            EXPECT_EQ(outcome.out.size() % 8, 0u) << what << ": whole frames only";
        }
        if (c.name == "no fault") {
            EXPECT_EQ(*outcome.status, 0) << what << ": " << outcome.err;
        }
        auto log = machine.log();
        ASSERT_FALSE(log.empty()) << what;
        EXPECT_EQ(harness::field(log.back(), "fn"), "exit") << what;
        EXPECT_EQ(harness::field(log.back(), "overReleases"), 0) << what;
        if (*outcome.status == 0) {
            EXPECT_EQ(harness::field(log.back(), "stringsAlive"), 0) << what;
        }
    });
}

}  // namespace
