// What comes out on standard output during a capture: the chosen pair, frame after frame.
#include "tap_runs.h"

#include <csignal>

namespace {

using namespace tap_test;

struct Captured {
    std::string pcm;
    std::string err;
    int status = -1;
};

// Runs a capture of a machine whose tap stops after a number of cycles, reads `bytes`, ends it
// with SIGTERM and collects whatever else it wrote.
Captured capture(const harness::Machine& machine, const std::vector<std::string>& args, std::size_t bytes) {
    harness::Child child(harness::program("sorvane-tap"), args, machine.env());
    Captured result;
    result.pcm = child.readBytes(bytes, 20);
    child.signal(SIGTERM);
    result.status = child.wait(10).value_or(-1);
    result.pcm += child.restOfOutput();
    result.err = child.error();
    return result;
}

json fast(int cycles, json more = json::object()) {
    json tap = {{"clock", "fast"}, {"cycles", cycles}};
    tap.update(more);
    return tap;
}

TEST(Pcm, MixdownOfABundleIsTheSumOfItsProcesses) {
    harness::Machine machine(withTap(fast(7)));
    auto result = capture(machine, {"--bundle-id", "x.browser"}, 7 * 512 * 8);
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(result.pcm.size(), 7u * 512 * 8) << "exactly the cycles delivered, nothing more";
    // 504 is tapped too but silent; 3584 frames run past the 1000-frame period of the signal.
    expectFrames(floats(result.pcm), {0.25, 0.125}, 0, 1);
}

TEST(Pcm, PidListTapsTheProcessesThatConvert) {
    harness::Machine machine(withTap(fast(3)));
    auto result = capture(machine, {"--pid", "502,abc,,501"}, 3 * 512 * 8);
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(result.pcm.size(), 3u * 512 * 8);
    expectFrames(floats(result.pcm), {0.25, 0.5}, 0, 1);
}

TEST(Pcm, BundleIdWinsOverPid) {
    harness::Machine machine(withTap(fast(2)));
    auto result = capture(machine, {"--pid", "501", "--bundle-id", "x.studio", "--pid", "9"}, 2 * 512 * 8);
    ASSERT_EQ(result.pcm.size(), 2u * 512 * 8);
    expectFrames(floats(result.pcm), {0.75}, 0, 1);
}

// Streams of 2 and 8 channels: device channel m is process channel m - 1.
TEST(Pcm, DeviceChannelPairs) {
    struct Case {
        std::string master;
        int left;
    };
    for (const Case& c : {Case{"5", 4}, Case{"1", 0}, Case{"3", 2}, Case{"9", 8}, Case{"+7", 6}}) {
        for (bool interleaved : {true, false}) {
            harness::Machine machine(withTap(fast(3, {{"interleaved", interleaved}})));
            auto result = capture(machine, {"--device", "studio", "--master", c.master, "--pid", "505"}, 3 * 512 * 8);
            std::string label = "--master " + c.master + (interleaved ? " interleaved" : " separate buffers");
            EXPECT_EQ(result.status, 0) << label;
            ASSERT_EQ(result.pcm.size(), 3u * 512 * 8) << label;
            expectFrames(floats(result.pcm), {0.75}, c.left, c.left + 1);
            EXPECT_EQ(json::parse(result.err), json({{"type", "format"}, {"rate", 44100}, {"channels", 2}})) << label;
        }
    }
}

TEST(Pcm, SeparateBuffersOfAMixdown) {
    harness::Machine machine(withTap(fast(4, {{"interleaved", false}})));
    auto result = capture(machine, {"--bundle-id", "x.music"}, 4 * 512 * 8);
    ASSERT_EQ(result.pcm.size(), 4u * 512 * 8);
    expectFrames(floats(result.pcm), {0.5}, 0, 1);
}

// Four channels of 20000 frames take the copying path, which keeps 16384 frames of each cycle.
TEST(Pcm, CopyingPathKeeps16384FramesACycle) {
    harness::Machine machine(withTap(fast(3, {{"channels", 4}, {"frames", 20000}})));
    auto result = capture(machine, {"--bundle-id", "x.music"}, 3 * 16384 * 8);
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(result.pcm.size(), 3u * 16384 * 8);
    auto stream = floats(result.pcm);
    for (std::size_t cycle = 0; cycle < 3; ++cycle) {
        std::vector<float> part(stream.begin() + cycle * 16384 * 2, stream.begin() + (cycle + 1) * 16384 * 2);
        expectFrames(part, {0.5}, 0, 1, cycle * 20000);
    }
}

TEST(Pcm, StereoCyclesAreWrittenWhole) {
    harness::Machine machine(withTap(fast(2, {{"frames", 20000}})));
    auto result = capture(machine, {"--bundle-id", "x.music"}, 2 * 20000 * 8);
    ASSERT_EQ(result.pcm.size(), 2u * 20000 * 8);
    expectFrames(floats(result.pcm), {0.5}, 0, 1);
}

TEST(Pcm, FormatReportSaysTwoChannelsWhateverTheTap) {
    for (int channels : {2, 3, 6}) {
        harness::Machine machine(withTap(fast(1, {{"channels", channels}})));
        auto result = capture(machine, {"--bundle-id", "x.music"}, 512 * 8);
        EXPECT_EQ(result.pcm.size(), 512u * 8);
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one report line";
        EXPECT_EQ(json::parse(result.err), json({{"type", "format"}, {"rate", 48000}, {"channels", 2}}))
            << channels << " channels";
    }
}

// From macOS 26 a bundle is tapped by its identifier: the app need not sound yet, and the tap
// follows whichever processes carry it.
TEST(Pcm, BundleTapOnMacOS26) {
    json description = withTap(fast(2));
    description["system"] = "26.0";
    harness::Machine machine(description);

    auto browser = capture(machine, {"--bundle-id", "x.browser"}, 2 * 512 * 8);
    ASSERT_EQ(browser.pcm.size(), 2u * 512 * 8);
    expectFrames(floats(browser.pcm), {0.25, 0.125}, 0, 1);
    json created = firstCall(machine, "AudioHardwareCreateProcessTap");
    ASSERT_TRUE(created.is_object());
    EXPECT_EQ(created["description"]["bundleIDs"], json({"x.browser"}));
    EXPECT_EQ(created["description"]["processRestore"], true);
    EXPECT_EQ(created["description"]["processes"], json::array());
    for (const json& line : machine.log()) {
        EXPECT_NE(line.value("selector", ""), "prs#") << "the process list is not read";
    }

    auto absent = capture(machine, {"--bundle-id", "x.later"}, 2 * 512 * 8);
    EXPECT_EQ(absent.status, 0);
    ASSERT_EQ(absent.pcm.size(), 2u * 512 * 8);
    expectFrames(floats(absent.pcm), {}, 0, 1);
}

}  // namespace
