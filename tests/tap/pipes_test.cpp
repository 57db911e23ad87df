// How a capture ends, with readers that misbehave, on each path a cycle takes to the pipe: the
// platform's buffer as it is, a pair copied out of wider interleaved frames or of separate buffers.
#include "tap_runs.h"

#include <csignal>
#include <functional>
#include <tuple>

namespace {

using namespace tap_test;

// Each with its arguments and whether the tap delivers interleaved frames.
const std::vector<std::tuple<std::string, std::vector<std::string>, bool>> paths = {
    {"direct", {"--bundle-id", "x.music"}, true},
    {"interleaved copy", {"--device", "studio", "--master", "5", "--pid", "505"}, true},
    {"separate buffers", {"--bundle-id", "x.music"}, false}};

// A reader that stops reading blocks a cycle in a write, which only holds the capture up; a stray
// SIGPIPE changes nothing. 65536 frames are 512 KiB on the direct path and 128 KiB copied: past
// any pipe's room, so the reader goes away in the middle of a cycle. A stop then waits for that
// cycle: the tool must still end, with status 0, every teardown call made in order and answered 0
// and no report but the format report, once the reader drains the pipe or goes away.
TEST(Pipes, StopWhileACycleIsBlockedInAWrite) {
    const std::vector<std::pair<std::string, std::function<void(harness::Child&)>>> stops = {
        {"no stop", [](harness::Child&) {}},
        {"stray SIGPIPE", [](harness::Child& c) { c.signal(SIGPIPE); }},
        {"SIGTERM", [](harness::Child& c) { c.signal(SIGTERM); }},
        {"SIGINT", [](harness::Child& c) { c.signal(SIGINT); }},
        // The capture takes note of its parent only after its report.
        {"parent gone", [](harness::Child& c) { c.awaitSleep("nanosleep"); c.killParent(); }}};
    harness::inLanes(4, 3 * 5 * 2, [&](int i) {
        const auto& [name, stop] = stops[i / 2 % 5];
        const auto& [path, args, interleaved] = paths[i / 10];
        const bool close = i % 2 == 1, ends = i / 2 % 5 >= 2;
        std::string what = name + (close ? ", reader closes, " : ", reader drains, ") + path;
        json description = machine();
        description["tap"] = {{"clock", "fast"}, {"frames", 65536}, {"interleaved", interleaved}};
        Capture run(description, args, name == "parent gone");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the pipe fills, the next write blocks
        stop(run.child);
        // Long past the next look at the flags: a stop is under way, waiting for the cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(harness::stillRunning(run.child.pid())) << what << ": ended while a cycle was blocked";
        if (!close && !ends) {
            EXPECT_EQ(run.child.readBytes(1 << 20, 10).size(), 1u << 20) << what << ": still capturing";
        }
        if (close || !ends) {
            run.child.closeOutput();
        }
        EXPECT_EQ(run.child.wait(10), 0) << what;  // waiting for the end reads, and so drains, the pipe
        EXPECT_EQ(callsOf(run.machine, teardown), teardown) << what;
        EXPECT_TRUE(run.machine.endedClean()) << what;
        EXPECT_EQ(harness::field(onlyReport(run.child.error()), "type"), "format") << what << ": " << run.child.error();
    });
}

}  // namespace
