// A capture of --bundle-id follows the application's processes as they come and go; --pid does not.
#include "tap_runs.h"

#include <csignal>
#include <sstream>

namespace {

using namespace tap_test;
using Levels = std::vector<double>;

// Cycles of 50 ms: a busy machine overloads few.
json machineOfLongCycles() {
    json m = machine();
    m["tap"] = {{"frames", 2400}};
    return m;
}

json process(int pid, const char* bundle, double level, bool playing = true) {
    return {{"pid", pid}, {"bundleId", bundle}, {"playing", playing}, {"devices", {"spk"}}, {"level", level}};
}

bool frameHolds(const float* frame, std::uint64_t n, const Levels& levels) {
    for (int c = 0; c < 2; ++c) {
        double sum = 0;
        for (double level : levels) sum += level * ((c + 1) / 16.0 + static_cast<double>(n % 1000) / 1000000.0);
        if (std::abs(frame[c] - sum) > 1e-6) return false;
    }
    return true;
}

// True when the stream is one run of frames of each mix in turn, none of them empty, the frames of
// every reported gap counted in; the first frame that fits none is told.
bool runsOf(const std::string& pcm, const std::string& reports, const std::vector<Levels>& mixes) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps;
    std::istringstream lines(reports);
    for (std::string line; std::getline(lines, line);) {
        const json report = json::parse(line, nullptr, false);
        if (harness::field(report, "type") == "dropped") gaps.emplace_back(report["at"], report["frames"]);
    }
    const auto* frames = reinterpret_cast<const float*>(pcm.data());
    const std::size_t count = pcm.size() / 8;
    const auto appFrame = [&](std::uint64_t n) {
        std::uint64_t frame = n;
        for (const auto& [at, lost] : gaps) frame += n >= at ? lost : 0;
        return frame;
    };
    std::size_t mix = 0, n = 0;
    while (n < count && mix < mixes.size()) {
        const std::size_t start = n;
        while (n < count && frameHolds(frames + 2 * n, appFrame(n), mixes[mix])) ++n;
        if (n == start) break;
        ++mix;
    }
    if (n < count || mix != mixes.size()) {
        ADD_FAILURE() << "frame " << n << " of " << count << " fits no mix in turn; mixes heard: " << mix;
        return false;
    }
    return true;
}

constexpr std::size_t bytesPerSecond = 48000 * 8;

// Captures the machine's app for `before` seconds, then makes each change in turn and captures for
// `after` seconds after each; ends the run on SIGTERM. True when the stream holds each mix in turn.
bool follow(Capture& run, json machine, const std::vector<json>& changes, const std::vector<Levels>& mixes,
            double before = 0.3, double after = 0.5) {
    for (int i = 0; i < 10000 && run.child.error().find('\n') == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(json::parse(run.child.error().substr(0, run.child.error().find('\n')), nullptr, false), json({{"type", "format"}, {"rate", 48000.0}, {"channels", 2}}));
    std::string pcm = run.child.readBytes(static_cast<std::size_t>(before * bytesPerSecond) / 8 * 8, 10);
    for (const json& change : changes) {
        machine.merge_patch(change);
        run.machine.write(machine);
        pcm += run.child.readBytes(static_cast<std::size_t>(after * bytesPerSecond) / 8 * 8, 10);
    }
    run.child.signal(SIGTERM);
    EXPECT_EQ(run.child.wait(10).value_or(-1), 0);
    pcm += run.child.restOfOutput();
    return runsOf(pcm, run.child.error(), mixes);
}

// The descriptions the run gave its tap after making it.
std::vector<json> written(const harness::Machine& machine) {
    std::vector<json> descriptions;
    for (const json& line : machine.calls("AudioObjectSetPropertyData")) {
        if (harness::field(line, "selector") == "tdsc") descriptions.push_back(line["description"]);
    }
    return descriptions;
}

// From macOS 26 the tap names the app's bundle identifiers, those of its helpers among them.
TEST(Follow, NewProcessesOfTheApplicationAreHeardButNoLookAlikeOrTheHosts) {
    for (const char* system : {"15.0", "26.0"}) {
        // The host is x.browser.host here, so its processes are nested under the app's identifier.
        json m = machineOfLongCycles();
        m["system"] = system;
        m["apps"][0]["bundleId"] = "x.browser.host";
        Capture run(m, {"--bundle-id", "x.browser"});
        json grown = m["processes"];
        grown.push_back(process(507, "x.browserish", 1.0));
        grown.push_back(process(508, "x.browser.host.gpu", 2.0));
        grown.push_back(process(509, "x.browser.tab", 0.0625));
        EXPECT_TRUE(follow(run, m, {{{"processes", grown}}}, {{0.25, 0.125}, {0.25, 0.125, 0.0625}})) << system;
        const auto made = run.machine.calls("AudioHardwareCreateProcessTap");
        const auto descriptions = written(run.machine);
        ASSERT_EQ(descriptions.size(), 1u) << system;
        ASSERT_EQ(made.size(), 1u) << system;
        json expected = made[0]["description"];
        if (std::string(system) == "26.0") {
            EXPECT_EQ(expected["bundleIDs"], json({"x.browser", "x.browser.helper"}));
            expected["bundleIDs"].push_back("x.browser.tab");
        } else {
            expected["processes"].push_back(descriptions[0]["processes"].back());
        }
        EXPECT_EQ(descriptions[0], expected) << system << ": the same description, the new process added";
    }
}

TEST(Follow, TheApplicationGoneAndBackAndAProcessTheStartWaitsFor) {
    // All of the app's processes leave: silence, and the tap keeps its description; a new one plays.
    json m = machineOfLongCycles();
    Capture gone(m, {"--bundle-id", "x.browser"});
    json others = {m["processes"][0], m["processes"][4], m["processes"][5]};
    json back = others;
    back.push_back(process(510, "x.browser", 0.5));
    EXPECT_TRUE(follow(gone, m, {{{"processes", others}}, {{"processes", back}}}, {{0.25, 0.125}, {}, {0.5}}));
    const auto descriptions = written(gone.machine);
    ASSERT_EQ(descriptions.size(), 1u);
    EXPECT_EQ(descriptions[0]["processes"].size(), 1u);

    // Only a silent process of the app at first: the start waits until its new helper plays.
    json silent = machineOfLongCycles();
    silent["processes"] = {process(504, "x.browser", 1.0, false), process(501, "x.music", 0.5)};
    Capture waits(silent, {"--bundle-id", "x.browser"}, false, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(waits.child.error(), "") << "reported before anything of the app played";
    silent["processes"].push_back(process(511, "x.browser.helper", 0.125));
    waits.machine.write(silent);
    EXPECT_TRUE(follow(waits, silent, {}, {{0.125}}));
}

TEST(Follow, ProcessIdsAreNeverFollowed) {
    json m = machineOfLongCycles();
    Capture run(m, {"--pid", "502"});
    json grown = m["processes"];
    grown.push_back(process(509, "x.browser.tab", 0.0625));
    EXPECT_TRUE(follow(run, m, {{{"processes", grown}}}, {{0.25}}));
    EXPECT_EQ(written(run.machine).size(), 0u);
}

}  // namespace
