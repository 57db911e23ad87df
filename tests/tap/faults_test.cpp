// Every platform call failing in turn, for the list and for each kind of capture: the tool may
// fail, but never crashes, writes only whole JSON lines as reports and exits 0 or 1.
#include "harness/platform_faults.h"
#include "tap_runs.h"

#include <csignal>

namespace {

using namespace tap_test;

const std::vector<std::vector<std::string>> modes = {
    {"--list"}, {"--bundle-id", "x.music"}, {"--pid", "501"}, {"--pid", "505", "--device", "studio", "--master", "5"}};

TEST(TapFaults, EveryPlatformCallFailingInTurn) {
    const auto cases = harness::platformFaults("sorvane-tap");
    harness::inLanes(6, static_cast<int>(cases.size() * modes.size()), [&](int i) {
        const auto& c = cases[static_cast<std::size_t>(i) / modes.size()];
        const auto& args = modes[static_cast<std::size_t>(i) % modes.size()];
        const bool list = args[0] == "--list";
        std::string what = args[0] + " " + (list ? "" : args[1]) + " with " + c.name;
        // A capture is stopped once it reports it is capturing; by then its stop handler is in place.
        Capture run(c.machine, args);
        if (run.child.error().find("\"format\"") != std::string::npos) {
            run.child.signal(SIGTERM);
        }
        const int status = run.child.wait(10).value_or(-1);  // -1: still running
        std::string out = run.child.restOfOutput(), err = run.child.error(), bad;
        EXPECT_TRUE(status == 0 || status == 1) << what << ": exit " << status << ", " << err;
        EXPECT_TRUE(c.name != "no fault" || status == 0) << what << ": " << err;
        // An error report, or no report from a list and the format report from a capture.
        EXPECT_EQ(err.empty() ? json("none") : harness::field(onlyReport(err), "type"),
                  status == 1 ? "error" : list ? "none" : "format")
            << what << ": " << err;
        EXPECT_TRUE(list ? harness::onlyJsonLines(out, bad) : out.size() % 8 == 0) << what << ": whole lines, frames";
        EXPECT_TRUE(run.machine.endedClean(status == 0)) << what;
    });
}

}  // namespace
