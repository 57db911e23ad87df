// A capture ends on whatever comes, whenever it comes: a stop while the tap is still being made, a
// stop whose action a launcher left ignored, a restart of the audio service while the start waits
// for sound or after the ring has filled, a device whose IO stops by itself, and a reader that goes
// away while no audio comes.
#include "tap_runs.h"

#include <csignal>

namespace {

using namespace tap_test;

// Waits up to `seconds` for the run to end; its exit status, nothing when it still runs.
std::optional<int> endsWithin(Capture& run, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (harness::stillRunning(run.child.pid()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return harness::stillRunning(run.child.pid()) ? std::nullopt : run.child.wait(1);
}

// A Mac's kqueue tells only of a signal sent after the wait exists: a SIGTERM sent while the tap is
// being made still ends the capture, once the slow call has returned.
TEST(Stops, SentWhileTheTapIsMade) {
    json description = machine();
    description["delays"] = {{"AudioHardwareCreateProcessTap", 300}};
    Capture run(description, {"--bundle-id", "x.music"}, false, false);
    for (int waited = 0; waited < 10000 && run.machine.calls("AudioHardwareCreateProcessTap").empty(); waited += 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run.child.signal(SIGTERM);
    // The call lasts 300 ms more; a stop the run never sees leaves it capturing for good.
    EXPECT_EQ(endsWithin(run, 3), 0) << run.child.error();
}

// XNU throws an ignored signal away even while it is blocked; Linux keeps it, so what shows here
// is the action: none of the stops may stay ignored once the capture runs.
TEST(Stops, LeftIgnoredByTheLauncher) {
    for (int stop : {SIGTERM, SIGINT}) {
        Capture run(machine(), {"--bundle-id", "x.music"}, false, true, {SIGTERM, SIGINT});
        const std::uint64_t stops = 1ull << (SIGTERM - 1) | 1ull << (SIGINT - 1);
        EXPECT_EQ(harness::ignoredSignals(run.child.pid()) & stops, 0u) << strsignal(stop);
        run.child.signal(stop);
        EXPECT_EQ(endsWithin(run, 5), 0) << strsignal(stop);
        EXPECT_EQ(callsOf(run.machine, teardown), teardown) << strsignal(stop);
    }
}

// The start waits for a tapped process to play, and the platform's call goes on waiting through a
// restart of the audio service: the run ends with the restart's error all the same, whether a
// listener tells of the restart or the run finds it by looking, and touches nothing gone.
TEST(Stops, RestartWhileTheStartWaits) {
    const json restart = {{"type", "error"}, {"message", "the audio system restarted, so the capture stopped"}, {"status", 0}};
    for (const json& faults : {json::object(), json{{"srst", nope}}}) {
        json description = machine();
        description["processes"][0]["playing"] = false;
        description["faults"] = faults;
        Capture run(description, {"--bundle-id", "x.music"}, false, false);
        for (int waited = 0; waited < 10000 && run.machine.calls("AudioDeviceCreateIOProcID").empty(); waited += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        description["restarts"] = 1;
        run.machine.write(description);
        EXPECT_EQ(endsWithin(run, 3), 1) << faults;
        EXPECT_EQ(onlyReport(run.child.error()), restart) << run.child.error();
        EXPECT_EQ(callsOf(run.machine, {"AudioDeviceStop", "AudioHardwareDestroyAggregateDevice"}).size(), 0u);
    }
}

// IO that stops outside the normal mechanisms ends the capture with its own error once every frame
// before it is out, instead of a capture that waits for ever.
TEST(Stops, DeviceStoppedAbnormally) {
    json description = machine();
    description["tap"] = {{"clock", "fast"}, {"stopsAbnormally", 5}};
    Capture run(description, {"--bundle-id", "x.music"});
    const std::string pcm = run.child.readBytes(SIZE_MAX, 5);
    EXPECT_EQ(run.child.wait(5), 1);
    EXPECT_EQ(pcm.size(), 5u * 512 * 8);
    expectAppAudio(pcm, {0.5}, 0, {}, "stopped");
    std::string err = run.child.error();
    EXPECT_EQ(json::parse(err.substr(err.find('\n') + 1), nullptr, false),
              json({{"type", "error"}, {"message", "the tap's device stopped, so the capture stopped"}, {"status", 0}}))
        << err;
}

// A restart takes the tap away, not what it captured: a reader that was not reading gets every
// frame the ring holds before the restart's error.
TEST(Stops, RestartAfterTheRingHasFilled) {
    json description = machine();
    description["tap"] = {{"clock", "fast"}, {"cycles", 100}};
    Capture run(description, {"--bundle-id", "x.music"});
    run.child.shrinkOutput(16384);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    description["restarts"] = 1;
    run.machine.write(description);
    const std::string pcm = run.child.readBytes(SIZE_MAX, 5);
    EXPECT_EQ(run.child.wait(5), 1);
    EXPECT_EQ(pcm.size(), 100u * 512 * 8) << "frames lost unreported";
    expectAppAudio(pcm, {0.5}, 0, {}, "restarted");
    const std::string err = run.child.error();
    EXPECT_EQ(json::parse(err.substr(err.find('\n') + 1), nullptr, false),
              json({{"type", "error"}, {"message", "the audio system restarted, so the capture stopped"}, {"status", 0}}))
        << err;
}

// Nothing written means no failed write to tell of a reader gone: the wait sees the pipe's end,
// while the start waits for sound and while no cycle comes.
TEST(Stops, ReaderGoneWhileNothingComes) {
    for (const bool started : {false, true}) {
        json description = machine();
        description["processes"][0]["playing"] = !started ? false : true;
        description["tap"] = {{"clock", "fast"}, {"cycles", 3}};
        Capture run(description, {"--bundle-id", "x.music"}, false, started);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(run.child.readBytes(SIZE_MAX, 0.2).size(), started ? 3u * 512 * 8 : 0u);
        run.child.closeOutput();
        EXPECT_EQ(endsWithin(run, 3), 0) << (started ? "started" : "waiting to start");
        EXPECT_EQ(run.child.error().empty(), !started) << run.child.error();
    }
}

}  // namespace
