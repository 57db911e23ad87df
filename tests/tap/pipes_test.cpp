// Readers that misbehave: one that stops reading so the capture blocks in a write to a full pipe,
// one that closes in the middle of a cycle, and a stop that has to wait for a blocked cycle.
#include "harness/lanes.h"
#include "tap_runs.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

namespace {

using namespace tap_test;
using Clock = std::chrono::steady_clock;

// The three ways a cycle reaches the pipe: the platform's buffer as it is, a pair copied out of
// wider interleaved frames, a pair from two separate buffers.
struct Path {
    const char* name;
    std::vector<std::string> args;
    json tap;
};

const std::vector<Path> paths = {
    {"direct", {"--bundle-id", "x.music"}, {}},
    {"interleaved copy", {"--device", "studio", "--master", "5", "--pid", "505"}, {}},
    {"separate buffers", {"--bundle-id", "x.music"}, {{"interleaved", false}}},
};

json fastTap(json tap, std::int64_t frames = 512) {
    tap["clock"] = "fast";
    tap["frames"] = frames;
    return tap;
}

// A capture whose first report has come; nothing of its output has been read.
struct Capture {
    harness::Machine machine;
    harness::Child child;

    Capture(const json& tap, const std::vector<std::string>& args, bool viaParent = false)
        : machine(withTap(tap)), child(harness::program("sorvane-tap"), args, machine.env(), viaParent) {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (child.error().find('\n') == std::string::npos && harness::stillRunning(child.pid()) &&
               Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Time for a fast clock to fill the pipe and block in its next write.
    void letThePipeFill() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }
};

// Ended with status 0, torn down in order, the log closed by a clean exit, and no report but the
// format report.
void expectCleanEnd(Capture& run, const std::string& what) {
    auto status = run.child.wait(10);
    ASSERT_TRUE(status) << what << ": still running";
    EXPECT_EQ(*status, 0) << what;
    EXPECT_EQ(teardown(run.machine), orderedTeardown) << what;
    EXPECT_EQ(harness::field(firstCall(run.machine, "AudioDeviceStop"), "status"), 0) << what;
    auto log = run.machine.log();
    ASSERT_FALSE(log.empty()) << what;
    EXPECT_EQ(harness::field(log.back(), "fn"), "exit") << what;
    EXPECT_EQ(harness::field(log.back(), "stringsAlive"), 0) << what;
    EXPECT_EQ(harness::field(log.back(), "overReleases"), 0) << what;
    std::string err = run.child.error();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << what << ": " << err;
    EXPECT_EQ(harness::field(json::parse(err.substr(0, err.find('\n')), nullptr, false), "type"), "format") << what;
}

TEST(Pipes, ReaderStopsReadingThenCloses) {
    harness::inLanes(3, static_cast<int>(paths.size()), [&](int i) {
        const Path& path = paths[static_cast<std::size_t>(i)];
        Capture run(fastTap(path.tap), path.args);
        run.letThePipeFill();
        EXPECT_TRUE(harness::stillRunning(run.child.pid())) << path.name << ": a full pipe only holds it up";
        run.child.closeOutput();
        expectCleanEnd(run, path.name);
    });
}

// Cycles far longer than the pipe holds: the reader takes part of one and goes away.
TEST(Pipes, ReaderClosesInTheMiddleOfACycle) {
    harness::inLanes(3, static_cast<int>(paths.size()), [&](int i) {
        const Path& path = paths[static_cast<std::size_t>(i)];
        Capture run(fastTap(path.tap, 65536), path.args);
        // 65536 frames are 512 KiB on the direct path and 128 KiB when copied: past any pipe's room.
        std::string taken = run.child.readBytes(100000, 10);
        EXPECT_EQ(taken.size(), 100000u) << path.name;
        run.child.closeOutput();
        expectCleanEnd(run, path.name);
    });
}

// The stop waits for the cycle in progress, which is blocked in a write: the tool must still end,
// with status 0, once the reader drains the pipe or goes away.
TEST(Pipes, StopWhileACycleIsBlockedInAWrite) {
    struct Case {
        std::string what;
        bool viaParent;
        std::function<void(harness::Child&)> stop;
        std::function<void(harness::Child&)> release;
    };
    auto drain = [](harness::Child&) {};  // waiting for the end reads everything that comes
    auto close = [](harness::Child& c) { c.closeOutput(); };
    std::vector<Case> cases;
    for (int signal : {SIGTERM, SIGINT}) {
        std::string name = signal == SIGTERM ? "SIGTERM" : "SIGINT";
        auto send = [signal](harness::Child& c) { c.signal(signal); };
        cases.push_back({name + ", then the reader drains", false, send, drain});
        cases.push_back({name + ", then the reader closes", false, send, close});
    }
    // The capture takes note of its parent after its report; the loss counts from then on.
    auto killParent = [](harness::Child& c) {
        c.awaitTimedSleep();
        c.killParent();
    };
    cases.push_back({"parent gone, then the reader drains", true, killParent, drain});
    cases.push_back({"parent gone, then the reader closes", true, killParent, close});
    const int perPath = static_cast<int>(cases.size());
    harness::inLanes(4, perPath * static_cast<int>(paths.size()), [&](int i) {
        const Case& c = cases[static_cast<std::size_t>(i % perPath)];
        const Path& path = paths[static_cast<std::size_t>(i / perPath)];
        std::string what = c.what + ", " + path.name;
        Capture run(fastTap(path.tap), path.args, c.viaParent);
        run.letThePipeFill();
        c.stop(run.child);
        // Long past the next look at the flags: the stop is under way, waiting for the cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(harness::stillRunning(run.child.pid())) << what << ": ended with a cycle still blocked";
        c.release(run.child);
        expectCleanEnd(run, what);
    });
}

}  // namespace
