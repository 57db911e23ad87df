// Every way a run fails: one error report with its message and status on standard error,
// nothing on standard output, exit status 1.
#include "tap_runs.h"

#include <algorithm>
#include <csignal>

namespace {

using namespace tap_test;

constexpr int nope = 0x6E6F7065;  // 'nope'

struct Case {
    std::string name;
    std::vector<std::string> args;
    json machine;
    std::string message;
    std::int64_t status = 0;
};

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        harness::Machine machine(c.machine);
        auto result = runTap(machine, c.args);
        EXPECT_EQ(result.status, 1) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        ASSERT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.name << ": " << result.err;
        json report = json::parse(result.err, nullptr, false);
        EXPECT_EQ(report, json({{"type", "error"}, {"message", c.message}, {"status", c.status}})) << c.name;
    }
}

json withSystem(json base, const std::string& version) {
    base["system"] = version;
    return base;
}

json withTapFault(const std::string& which, int status) {
    return withTap({{"faults", {{which, status}}}});
}

const std::string noTarget = "say which app: --bundle-id ID or --pid N; this never taps the whole Mac";
const std::string badMaster = "--master is the first channel of the pair, from 1";

TEST(Failures, CommandLine) {
    check({
        {"no arguments", {}, machine(), noTarget},
        {"--pid abc", {"--pid", "abc"}, machine(), noTarget},
        {"--pid empty pieces", {"--pid", ",,"}, machine(), noTarget},
        {"--pid last", {"--device", "studio", "--pid"}, machine(), noTarget},
        {"--pid past 32 bits", {"--pid", "2147483648"}, machine(), noTarget},
        {"--pid with spaces", {"--pid", " 501"}, machine(), noTarget},
        {"--bundle-id last", {"--bundle-id"}, machine(), noTarget},
        {"--master 0", {"--pid", "505", "--device", "studio", "--master", "0"}, machine(), badMaster},
        {"--master -3", {"--pid", "505", "--device", "studio", "--master", "-3"}, machine(), badMaster},
        {"--master x", {"--pid", "505", "--device", "studio", "--master", "x"}, machine(), badMaster},
        {"--master empty", {"--pid", "505", "--device", "studio", "--master", ""}, machine(), badMaster},
        {"--master past 64 bits", {"--pid", "505", "--device", "studio", "--master", "9223372036854775808"},
         machine(), badMaster},
        // Checked before the processes: the unknown pid is never looked at.
        {"--master before --pid", {"--pid", "9", "--device", "studio", "--master", "0"}, machine(), badMaster},
    });
}

TEST(Failures, MasterWithoutDeviceIsNotChecked) {
    // Without --device a bad --master goes unnoticed; the run gets as far as the unknown process.
    check({
        {"--master 0", {"--pid", "9", "--master", "0"}, machine(), "process 9 isn't using audio"},
        {"--master x", {"--pid", "9", "--master", "x"}, machine(), "process 9 isn't using audio"},
    });
}

TEST(Failures, Lifecycle) {
    json oneChannel = withTap({{"channels", 1}});
    check({
        {"tap", {"--bundle-id", "x.music"}, withTapFault("create", nope), "couldn't make the tap", nope},
        {"tap -50", {"--bundle-id", "x.music"}, withTapFault("create", -50), "couldn't make the tap", -50},
        {"aggregate", {"--bundle-id", "x.music"}, withTapFault("aggregate", -50), "couldn't make the tap's device", -50},
        {"16-bit", {"--bundle-id", "x.music"}, withTap({{"float", false}, {"bits", 16}}),
         "the tap's format isn't Float32"},
        {"32-bit integer", {"--bundle-id", "x.music"}, withTap({{"float", false}, {"bits", 32}}),
         "the tap's format isn't Float32"},
        {"64-bit float", {"--bundle-id", "x.music"}, withTap({{"bits", 64}}), "the tap's format isn't Float32"},
        {"one channel", {"--bundle-id", "x.music"}, oneChannel, "the tap has 1 channels, not the pair asked for"},
        {"pair past the tap", {"--device", "studio", "--master", "9", "--pid", "505"}, withTap({{"channels", 7}}),
         "the tap has 7 channels, not the pair asked for"},
        {"ioproc", {"--bundle-id", "x.music"}, withTapFault("ioproc", nope), "couldn't attach to the tap's device", nope},
        {"start", {"--bundle-id", "x.music"}, withTapFault("start", -66), "couldn't start the tap", -66},
    });
}

TEST(Failures, Processes) {
    json pidFault = machine();
    pidFault["faults"] = {{"id2p", -50}};
    check({
        {"own bundle", {"--bundle-id", "x.host"}, machine(), "that's Sorvane itself"},
        {"nested bundle", {"--bundle-id", "x.host.helper"}, machine(), "that's Sorvane itself"},
        {"own bundle on 26", {"--bundle-id", "x.host"}, withSystem(machine(), "26.0"), "that's Sorvane itself"},
        {"own bundle before device", {"--bundle-id", "x.host", "--device", "nowhere"}, machine(),
         "that's Sorvane itself"},
        {"not sounding", {"--bundle-id", "x.silent"}, machine(), "x.silent isn't using audio; start it playing, then connect"},
        {"prefix is not a match", {"--bundle-id", "x.brows"}, machine(),
         "x.brows isn't using audio; start it playing, then connect"},
        {"14.2", {"--bundle-id", "x.silent"}, withSystem(machine(), "14.2"),
         "x.silent isn't using audio; start it playing, then connect"},
        {"26 with a device", {"--bundle-id", "x.silent", "--device", "studio"}, withSystem(machine(), "26.0"),
         "x.silent isn't using audio; start it playing, then connect"},
        {"unknown pid", {"--pid", "5"}, machine(), "process 5 isn't using audio"},
        {"first failing pid ends it", {"--pid", "501,5,6"}, machine(), "process 5 isn't using audio"},
        {"translation fails", {"--pid", "501"}, pidFault, "process 501 isn't using audio", -50},
        {"host's process", {"--pid", "506"}, machine(), "not a process to tap"},
    });
}

TEST(Failures, DeviceStreams) {
    json uidFault = machine();
    uidFault["faults"] = {{"uidd", nope}};
    json unreadable = machine();
    unreadable["devices"].push_back(
        {{"uid", "odd"}, {"output", {2, {{"channels", 8}, {"fault", nope}}, 2}}});
    const std::string dash = "\u2013";
    check({
        {"unknown device", {"--pid", "505", "--device", "nowhere"}, machine(), "no output device nowhere"},
        {"translation fails", {"--pid", "505", "--device", "studio"}, uidFault, "no output device studio", nope},
        {"split pair", {"--pid", "505", "--device", "studio", "--master", "2"}, machine(),
         "channels 2" + dash + "3 aren't in one stream of that device"},
        {"signed master", {"--pid", "505", "--device", "studio", "--master", "+2"}, machine(),
         "channels 2" + dash + "3 aren't in one stream of that device"},
        {"past the last channel", {"--pid", "505", "--device", "studio", "--master", "10"}, machine(),
         "that device has no channels 10" + dash + "11"},
        {"no output streams", {"--pid", "505", "--device", "mic"}, machine(), "that device has no channels 1" + dash + "2"},
        {"largest master", {"--pid", "505", "--device", "spk", "--master", "9223372036854775807"}, machine(),
         "that device has no channels 9223372036854775807" + dash + "9223372036854775808"},
        {"unreadable stream counts 0", {"--pid", "505", "--device", "odd", "--master", "4"}, unreadable,
         "that device has no channels 4" + dash + "5"},
    });
}

// An unreadable stream counts no channels, so the pair after it lies in the stream that follows.
TEST(Failures, UnreadableStreamIsSkipped) {
    json description = withTap({{"clock", "fast"}, {"cycles", 1}});
    description["devices"].push_back({{"uid", "odd"}, {"output", {2, {{"channels", 8}, {"fault", nope}}, 2}}});
    description["processes"][4]["devices"] = {"odd"};
    harness::Machine machine(description);
    harness::Child child(harness::program("sorvane-tap"), {"--device", "odd", "--master", "3", "--pid", "505"},
                         machine.env());
    EXPECT_EQ(child.readBytes(512 * 8, 10).size(), 512u * 8);
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(5).value_or(-1), 0);
    json created = firstCall(machine, "AudioHardwareCreateProcessTap");
    ASSERT_TRUE(created.is_object());
    EXPECT_EQ(created["description"]["stream"], 2);
    EXPECT_EQ(created["description"]["deviceUID"], "odd");
}

// A failure leaves what was made in place: nothing is stopped or destroyed on the way out.
TEST(Failures, NothingIsUndone) {
    harness::Machine machine(withTapFault("start", nope));
    auto result = runTap(machine, {"--bundle-id", "x.music"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(teardown(machine).empty());
}

}  // namespace
