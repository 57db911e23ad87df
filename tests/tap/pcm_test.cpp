// What comes out on standard output during a capture: the chosen pair, frame after frame.
#include "tap_runs.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <set>
#include <tuple>

namespace {

using namespace tap_test;

struct Case {
    std::string name;
    std::vector<std::string> args;
    json patch;                  // of the machine, whose tap runs on a fast clock
    std::vector<double> levels;  // of the processes heard
    int left = 0;                // the process channel heard on the left
    double rate = 48000;
    std::size_t cycles = 3, frames = 512;  // cycles delivered, frames of each
    json later = nullptr;  // written into the machine once the start waits for it
};

// Runs the capture until the tap stops delivering, then checks all it wrote against the processes'
// sum, what the start made, and that the IO procedure never allocated. From macOS 26 a bundle is
// tapped by its identifier, and the tap follows whichever processes carry it; until one plays, the
// start waits and nothing is reported.
void check(const Case& c) {
    json description = machine();
    description["tap"] = {{"clock", "fast"}, {"cycles", c.cycles}, {"frames", c.frames}};
    description.merge_patch(c.patch);
    const bool onMacOS26 = description.contains("system");  // and tapping by bundle
    Capture run(description, c.args, false, c.later.is_null());
    if (!c.later.is_null()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(run.child.error(), "") << c.name << ": reported before the start";
        description.merge_patch(c.later);
        run.machine.write(description);
    }
    std::string pcm = run.child.readBytes(c.cycles * c.frames * 8, 20);
    run.child.signal(SIGTERM);
    EXPECT_EQ(run.child.wait(10).value_or(-1), 0) << c.name;
    pcm += run.child.restOfOutput();
    EXPECT_EQ(onlyReport(run.child.error()), json({{"type", "format"}, {"rate", c.rate}, {"channels", 2}})) << c.name;
    EXPECT_EQ(pcm.size(), c.cycles * c.frames * 8) << c.name << ": exactly the cycles delivered, nothing more";
    expectAppAudio(pcm, c.levels, c.left, {}, c.name);
    const std::vector<std::string> start = {"AudioHardwareCreateProcessTap", "AudioHardwareCreateAggregateDevice",
                                            "AudioDeviceCreateIOProcID", "AudioDeviceStart"};
    EXPECT_EQ(callsOf(run.machine, start), start) << c.name;
    const auto tapCalls = run.machine.calls(start[0]), deviceCalls = run.machine.calls(start[1]);
    if (tapCalls.empty() || deviceCalls.empty()) {
        return;  // the calls above have failed this row already
    }
    json tap = tapCalls[0], device = deviceCalls[0];
    json made = {tap["description"]["name"], tap["description"]["private"], tap["description"]["muteBehavior"],
                 tap["description"]["processRestore"], tap["description"]["exclusive"], device["name"],
                 device["taps"], device["private"], device["stacked"], device["tapautostart"]};
    EXPECT_EQ(made, json({"Sorvane", true, 0, onMacOS26, false, "Sorvane tap", json::array({tap["uuid"]}), true,
                          false, true}))
        << c.name;
    static std::set<std::string> uids;
    EXPECT_TRUE(uids.insert(harness::field(device, "uid").dump()).second) << c.name << ": a new device UID each run";
    const auto stops = run.machine.calls("AudioDeviceStop");
    EXPECT_EQ(harness::field(stops.empty() ? json() : stops.back(), "procAllocations"), 0) << c.name << ": allocating";
}

TEST(Pcm, ThePairOfEveryKindOfTap) {
    const std::vector<std::string> music = {"--bundle-id", "x.music"};
    std::vector<Case> cases = {
        // The helper and 504 are tapped too, 504 silent; 3584 frames run past the 1000-frame period.
        {"mixdown of a bundle", {"--bundle-id", "x.browser"}, json::object(), {0.25, 0.125}, 0, 48000, 7},
        {"a bundle's stream", {"--bundle-id", "x.browser", "--device", "spk"}, json::object(), {0.25, 0.125}},
        {"nested bundles but the host's", {"--bundle-id", "x"}, json::object(), {0.5, 0.25, 0.125, 0.75}},
        {"pids that convert", {"--pid", "502,abc,,501"}, json::object(), {0.25, 0.5}},
        {"bundle wins over pid", {"--pid", "501", "--bundle-id", "x.studio", "--pid", "9"}, json::object(), {0.75}},
        {"separate buffers of a mixdown", music, tap({{"interleaved", false}}), {0.5}},
        {"stereo cycles are written whole", music, json::object(), {0.5}, 0, 48000, 2, 20000},
        {"copied cycles are written whole", music, tap({{"channels", 4}}), {0.5}, 0, 48000, 3, 20000},
        {"first pair of 3 channels", music, tap({{"channels", 3}}), {0.5}},
        // Stream 1 cannot be read, but the pair lies before it.
        {"before an unreadable stream", {"--device", "odd", "--master", "1", "--pid", "505"}, json::object(), {0.75}, 0,
         44100},
        {"absent app on 26", {"--bundle-id", "x.later"}, {{"system", "26.0"}}, {0.5}, 0, 48000, 3, 512,
         {{"processes", {{{"pid", 601}, {"bundleId", "x.later"}, {"playing", true}, {"level", 0.5}}}}}},
        {"browser and its helper on 26", {"--bundle-id", "x.browser"}, {{"system", "26.0"}}, {0.25, 0.125}},
        // The format reported is the one the tap has once the start has returned.
        {"rate changed while the start waits", {"--bundle-id", "x.later"}, {{"system", "26.0"}}, {0.5}, 0, 44100, 3,
         512, {{"processes", {{{"pid", 601}, {"bundleId", "x.later"}, {"playing", true}, {"level", 0.5}}}},
               {"devices", {{{"uid", "spk"}, {"rate", 44100}, {"output", {2}}}}}}},
    };
    // Streams of 2 and 8 channels: device channel m is process channel m - 1.
    for (const char* master : {"5", "1", "3", "9", "+7"}) {
        for (bool interleaved : {true, false}) {
            cases.push_back({std::string("studio --master ") + master + (interleaved ? "" : ", separate buffers"),
                             {"--device", "studio", "--master", master, "--pid", "505"},
                             tap({{"interleaved", interleaved}}), {0.75}, std::stoi(master) - 1, 44100});
        }
    }
    for (const Case& c : cases) {
        check(c);
    }
}

// The platform tells of a change of the tap's format: a new rate is reported where it begins in
// the stream, a tap that no longer is Float32 or holds the pair ends the run with the error of a
// start that finds it so, and a restart of the audio service, which takes the tap and its device
// away, ends it without touching them. Where a listener cannot be added, the run looks for itself.
TEST(Pcm, ChangesOfTheTapsFormat) {
    const json rate = {{"type", "format"}, {"rate", 44100.0}, {"channels", 2}};
    const auto error = [](const char* message) { return json{{"type", "error"}, {"message", message}, {"status", 0}}; };
    const json restart = error("the audio system restarted, so the capture stopped");
    const std::vector<std::string> ended = {teardown[0], teardown[1], teardown[2], teardown[3], "AudioDeviceStop"};
    const std::vector<std::string> listenersOnly(4, teardown[0]);
    const json rateChange = {{"rateChanges", {{4, 44100}}}}, refused = {{"faults", {{"listen", nope}}}};
    struct Row {
        json later;
        int status;
        json report;
        std::vector<std::string> calls;
        json patch = json::object();
    };
    for (const Row& row : std::vector<Row>{
             {tap(rateChange), 0, rate, teardown},
             {tap({{"channels", 1}}), 1, error("the tap has 1 channels, not the pair asked for"), ended},
             {tap({{"bits", 16}}), 1, error("the tap's format isn't Float32"), ended},
             {{{"restarts", 1}}, 1, restart, listenersOnly},
             // Only what was added is removed: the restart's and the process list's, or all but the restart's.
             {tap(rateChange), 0, rate, std::vector<std::string>(teardown.begin() + 2, teardown.end()), tap(refused)},
             {{{"restarts", 1}}, 1, restart, {teardown[0], teardown[1], teardown[2]}, {{"faults", {{"srst", nope}}}}}}) {
        json description = machine();
        description["tap"] = {{"frames", 4800}};  // cycles of 100 ms: a busy machine overloads none
        description.merge_patch(row.patch);
        Capture run(description, {"--bundle-id", "x.music"});
        description.merge_patch(row.later);
        run.machine.write(description);
        for (int waited = 0; waited < 10000 && onlyReport(run.child.error()).is_object(); waited += 20) {
            run.child.readBytes(1 << 20, 0.02);  // the capture goes on meanwhile
        }
        run.child.signal(SIGTERM);
        EXPECT_EQ(run.child.wait(10), row.status) << row.report;
        std::string err = run.child.error();
        json second = json::parse(err.substr(err.find('\n') + 1), nullptr, false);
        if (row.status == 0) {
            // Marked at the first cycle handed over once the platform has told of the change.
            const json at = harness::field(second, "at");
            EXPECT_TRUE(at.is_number_unsigned() && at >= 4 * 4800 && at <= 7 * 4800) << err;
            second.erase("at");
        }
        EXPECT_EQ(second, row.report) << err;
        EXPECT_EQ(callsOf(run.machine, teardown), row.calls) << row.report;
        EXPECT_EQ(callsOf(run.machine, {"AudioObjectAddPropertyListener"}).size(), 4u) << row.report;
    }
}

// A reader that takes nothing while the rate changes hears of the new rate only once it has read
// every frame before it: the report waits in the stream at its place, and its "at" counts them.
TEST(Pcm, ALaterFormatWaitsForTheFramesBeforeIt) {
    json description = machine();
    // Cycles of 50 ms; from cycle 12, stream frame 28800, the tap runs at 44.1 kHz.
    description["tap"] = {{"frames", 2400}, {"rateChanges", {{12, 44100}}}};
    Capture run(description, {"--bundle-id", "x.music"});
    run.child.shrinkOutput(16384);  // a Mac's pipe: 2048 frames
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Up to the change less the pipe's room and a cycle, the report cannot have gone out.
    std::string pcm = run.child.readBytes((28800 - 2048 - 2400) * 8, 10);
    EXPECT_EQ(harness::field(onlyReport(run.child.error()), "type"), "format") << run.child.error();
    pcm += run.child.readBytes(8000 * 8, 10);
    run.child.signal(SIGTERM);
    pcm += run.child.readBytes(SIZE_MAX, 10);
    EXPECT_EQ(run.child.wait(10), 0);
    const std::string err = run.child.error();
    const json later = json::parse(err.substr(err.find('\n') + 1), nullptr, false);
    const json at = harness::field(later, "at");
    EXPECT_TRUE(at.is_number_unsigned() && at >= 28800 && at <= 28800 + 3 * 2400) << err;
    EXPECT_EQ(later, json({{"type", "format"}, {"rate", 44100.0}, {"channels", 2}, {"at", at}})) << err;
    expectAppAudio(pcm, {0.5}, 0, {}, "across the change");
}

}  // namespace
