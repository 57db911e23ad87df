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
    {"interleaved copy", {"--pid", "505", "--device", "studio", "--master", "5"}, true},
    {"separate buffers", {"--bundle-id", "x.music"}, false}};

// A reader that stops reading blocks the writer, never the capture: the cycles go on into the ring
// and, once it is full, are reported lost; a stray SIGPIPE changes nothing. 65536 frames are 512
// KiB on the direct path and 128 KiB copied: past any pipe's room. A stop does not wait for the
// blocked writer: the tool ends by itself, the pipe still full and open, with status 0, every
// teardown call made in order and answered 0, and no report but the format report and losses. So
// does a stop while the start waits for a tapped process to play, with no report at all; on a Mac
// the platform is still inside the start then, and an exit that ran its destructors would crash.
TEST(Pipes, StopWhileTheWriterIsBlocked) {
    const std::vector<std::pair<std::string, std::function<void(harness::Child&)>>> stops = {
        {"no stop", [](harness::Child&) {}},
        {"stray SIGPIPE", [](harness::Child& c) { c.signal(SIGPIPE); }},
        {"SIGTERM", [](harness::Child& c) { c.signal(SIGTERM); }},
        {"SIGINT", [](harness::Child& c) { c.signal(SIGINT); }},
        {"parent gone", [](harness::Child& c) { c.killParent(); }}};
    harness::inLanes(4, 3 * 5 * 2, [&](int i) {
        const auto& [name, stop] = stops[i / 2 % 5];
        const auto& [path, args, interleaved] = paths[i / 10];
        const bool ends = i / 2 % 5 >= 2, drains = i % 2 == 0, silent = ends && !drains;
        std::string what = name + (ends ? silent ? ", nothing playing, " : ", " : drains ? ", reader drains, " : ", reader closes, ") + path;
        json description = machine();
        description["tap"] = {{"clock", "fast"}, {"frames", 65536}, {"interleaved", interleaved}};
        if (silent) {
            description["processes"] = {{{"pid", 501}, {"bundleId", "x.music"}}, {{"pid", 505}, {"bundleId", "x.studio"}}};
        }
        Capture run(description, args, name == "parent gone", !silent);
        // The pipe fills and the next write blocks; or the start waits, the stop handler in place.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        for (int waited = 0; silent && waited < 10000 && run.machine.calls("AudioDeviceCreateIOProcID").empty(); waited += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stop(run.child);
        if (ends) {
            for (int waited = 0; waited < 5000 && harness::stillRunning(run.child.pid()); waited += 5) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            EXPECT_FALSE(harness::stillRunning(run.child.pid())) << what << ": the stop did not end it";
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_TRUE(harness::stillRunning(run.child.pid())) << what << ": ended while a cycle was blocked";
            if (drains) {
                EXPECT_EQ(run.child.readBytes(1 << 20, 10).size(), 1u << 20) << what << ": still capturing";
            }
            run.child.closeOutput();
        }
        EXPECT_EQ(run.child.wait(10), 0) << what;
        // --pid follows no process list: one listener fewer.
        const std::vector<std::string> made(teardown.begin() + (args[0] == "--pid" ? 1 : 0), teardown.end());
        EXPECT_EQ(callsOf(run.machine, teardown), silent ? std::vector<std::string>() : made) << what;
        // A stop while the start still waits leaves at once, its exit-time cleanup not run.
        EXPECT_TRUE(silent || run.machine.endedClean()) << what;
        std::istringstream reports(run.child.error());
        std::string kinds;
        for (std::string line; std::getline(reports, line);) {
            kinds += harness::field(json::parse(line, nullptr, false), "type").dump();
        }
        EXPECT_EQ(kinds.substr(0, kinds.find("\"dropped\"")), silent ? "" : "\"format\"") << what << ": " << kinds;
    });
}

}  // namespace
