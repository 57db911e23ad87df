// Every way a run fails: one error report with its message and status on standard error, nothing
// on standard output, exit status 1, and nothing already made is stopped or destroyed.
#include "tap_runs.h"

namespace {

using namespace tap_test;

struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string message;
    json patch = json::object();  // merged into the machine
    std::int64_t status = 0;
};

TEST(Failures, MessagesAndStatuses) {
    const std::string noTarget = "say which app: --bundle-id ID or --pid N; this never taps the whole Mac";
    const std::string badMaster = "--master is the first channel of the pair, from 1";
    const std::string silent = "x.silent isn't using audio; start it playing, then connect";
    const std::string own = "that's Sorvane itself";
    const std::vector<std::string> music = {"--bundle-id", "x.music"};
    const std::string none = "that device has no channels ";
    auto on = [](std::string device, std::string master) {
        return std::vector<std::string>{"--pid", "505", "--device", device, "--master", master};
    };
    const std::vector<Case> cases = {
        {"no arguments", {}, noTarget},
        {"--pid abc", {"--pid", "abc"}, noTarget},
        {"--bundle-id last", {"--device", "studio", "--bundle-id"}, noTarget},
        {"empty --bundle-id", {"--bundle-id", ""}, noTarget},
        {"empty --bundle-id on 26", {"--bundle-id", ""}, noTarget, {{"system", "26.0"}}},
        {"--master -3", on("studio", "-3"), badMaster},
        {"--master x", on("studio", "x"), badMaster},
        // Checked before the processes: the unknown pid is never looked at.
        {"--master before --pid", {"--pid", "9", "--device", "studio", "--master", "0"}, badMaster},
        // Without --device a bad --master goes unnoticed.
        {"--master without --device", {"--pid", "9", "--master", "0"}, "process 9 isn't using audio"},
        {"tap", music, "couldn't make the tap", tap({{"faults", {{"create", nope}}}}), nope},
        {"aggregate", music, "couldn't make the tap's device", tap({{"faults", {{"aggregate", -50}}}}), -50},
        {"32-bit integer", music, "the tap's format isn't Float32", tap({{"float", false}, {"bits", 32}})},
        {"64-bit float", music, "the tap's format isn't Float32", tap({{"bits", 64}})},
        {"one channel", music, "the tap has 1 channels, not the pair asked for", tap({{"channels", 1}})},
        {"pair past the tap", on("studio", "9"), "the tap has 7 channels, not the pair asked for",
         tap({{"channels", 7}})},
        {"ioproc", music, "couldn't attach to the tap's device", tap({{"faults", {{"ioproc", nope}}}}), nope},
        {"start", music, "couldn't start the tap", tap({{"faults", {{"start", -66}}}}), -66},
        {"own bundle", {"--bundle-id", "x.host"}, own},
        {"nested bundle", {"--bundle-id", "x.host.helper"}, own},
        {"own bundle on 26", {"--bundle-id", "x.host"}, own, {{"system", "26.0"}}},
        {"own bundle from a helper", {"--bundle-id", "x.host.helper"}, own, hostHelper()},
        {"not sounding", {"--bundle-id", "x.silent"}, silent},
        {"prefix is no match", {"--bundle-id", "x.brows"}, "x.brows isn't using audio; start it playing, then connect"},
        {"not UTF-8", {"--bundle-id", "x.\xff"}, "x.\uFFFD isn't using audio; start it playing, then connect"},
        {"26 with a device", {"--bundle-id", "x.silent", "--device", "studio"}, silent, {{"system", "26.0"}}},
        {"unknown pid", {"--pid", "5"}, "process 5 isn't using audio"},
        {"first failing pid ends it", {"--pid", "501,5,6"}, "process 5 isn't using audio"},
        {"translation fails", {"--pid", "501"}, "process 501 isn't using audio", {{"faults", {{"id2p", -50}}}}, -50},
        {"host's process", {"--pid", "506"}, "not a process to tap"},
        {"host's process from a helper", {"--pid", "506"}, "not a process to tap", hostHelper()},
        {"unknown device", on("nowhere", "1"), "no output device nowhere"},
        {"device not UTF-8", on("x\xff", "1"), "no output device x\uFFFD"},
        {"uid translation fails", on("studio", "1"), "no output device studio", {{"faults", {{"uidd", nope}}}}, nope},
        {"split pair", on("studio", "2"), "channels 2–3 aren't in one stream of that device"},
        // How many channels come before stream 2 is not known: its pair cannot be placed.
        {"past a stream of unknown width", on("odd", "3"), "channels 3–4 aren't in one stream of that device"},
        {"past the last channel", on("studio", "10"), none + "10–11"},
        {"no output streams", on("mic", "1"), none + "1–2"},
        {"largest master", on("spk", "9223372036854775807"), none + "9223372036854775807–9223372036854775808"},
    };
    for (const Case& c : cases) {
        json description = machine();
        description.merge_patch(c.patch);
        Capture run(description, c.args);
        EXPECT_EQ(run.child.wait(10).value_or(-1), 1) << c.name;
        EXPECT_EQ(run.child.restOfOutput(), "") << c.name;
        json report = {{"type", "error"}, {"message", c.message}, {"status", c.status}};
        EXPECT_EQ(onlyReport(run.child.error()), report) << c.name;
        EXPECT_TRUE(callsOf(run.machine, teardown).empty()) << c.name;
        if (!run.machine.log().empty()) {  // nothing logged when no platform call was made
            EXPECT_TRUE(run.machine.endedClean(false)) << c.name;
        }
    }
}

}  // namespace
