// A reader that pauses, through a pipe as small as a Mac's: no frame is lost to a pause the ring
// holds, and every run of frames that is lost (a pause longer than the ring, cycles the platform
// skipped) is reported at its place in the stream, so that a host can keep time with the app.
#include "tap_runs.h"

#include <csignal>

namespace {

using namespace tap_test;
using Gaps = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

struct Case {
    std::string name;
    json tap;            // of a machine whose speakers run at `rate`
    double rate;
    double readFirst;    // seconds of audio read before the pause, and after it
    double pauseSeconds;
    double readAfter;
    std::size_t gaps;    // runs of lost frames
};

TEST(Drops, EveryLostFrameIsReportedAndNoOther) {
    const std::vector<Case> cases = {
        // Cycles of 100 ms, so that a busy machine does not overload the device by itself.
        {"a pause the ring holds", {{"frames", 4800}}, 48000, 0.5, 1, 0.5, 0},
        {"a pause longer than the ring", {{"frames", 800}}, 8000, 0.3, 3, 0.5, 1},
        {"cycles the platform skipped", {{"clock", "fast"}, {"cycles", 6}, {"overloads", {{3, 700}, {5, 1}}}}, 48000,
         6 * 512 / 48000.0, 0, 0, 2},
    };
    for (const Case& c : cases) {
        json description = machine();
        description["devices"][0]["rate"] = c.rate;
        description["tap"] = c.tap;
        harness::Machine machine(description);
        harness::Child child(harness::program("sorvane-tap"), {"--bundle-id", "x.music"}, machine.env());
        child.shrinkOutput(16384);
        const auto bytes = [&](double seconds) { return static_cast<std::size_t>(seconds * c.rate) * 8; };
        std::string pcm = child.readBytes(bytes(c.readFirst), 20);
        std::this_thread::sleep_for(std::chrono::duration<double>(c.pauseSeconds));
        pcm += child.readBytes(bytes(c.readAfter), 10);
        child.signal(SIGTERM);
        pcm += child.readBytes(SIZE_MAX, 10);
        EXPECT_EQ(child.wait(10), 0) << c.name;

        std::vector<json> reports;
        std::istringstream err(child.error());
        for (std::string line; std::getline(err, line);) reports.push_back(json::parse(line, nullptr, false));
        if (reports.size() != c.gaps + 1) {
            ADD_FAILURE() << c.name << ": " << child.error();
            continue;
        }
        EXPECT_EQ(reports[0], json({{"type", "format"}, {"rate", c.rate}, {"channels", 2}})) << c.name;
        Gaps gaps;
        std::uint64_t lost = 0;
        for (std::size_t i = 1; i < reports.size(); ++i) {
            EXPECT_EQ(harness::field(reports[i], "type"), "dropped") << c.name;
            const auto number = [&](const char* key) {
                const json value = harness::field(reports[i], key);
                return value.is_number_unsigned() ? value.get<std::uint64_t>() : 0;
            };
            gaps.emplace_back(number("at"), number("frames"));
            lost += gaps.back().second;
        }
        if (c.tap.contains("overloads")) {
            EXPECT_EQ(gaps, Gaps({{3 * 512, 700}, {5 * 512, 1}})) << c.name;
        }
        expectAppAudio(pcm, {0.5}, 0, gaps, c.name);
        const auto stops = machine.calls("AudioDeviceStop");
        if (stops.size() != 1) {
            ADD_FAILURE() << c.name << ": " << stops.size() << " stops";
            continue;
        }
        // Every cycle delivered is in the stream or reported; the procedure itself never waited.
        EXPECT_EQ(pcm.size() / 8 + lost, stops[0]["cycles"].get<std::uint64_t>() * c.tap.value("frames", 512) +
                                             (c.tap.contains("overloads") ? 701 : 0))
            << c.name;
        EXPECT_EQ(stops[0]["procAllocations"], 0) << c.name;
        EXPECT_EQ(stops[0]["procIOCalls"], 0) << c.name << ": reads or writes in the IO procedure";
    }
}

}  // namespace
