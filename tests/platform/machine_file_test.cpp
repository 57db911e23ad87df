// Choosing the machine and refusing files that are not machines: one line on standard error and
// exit status 3, never a silent empty machine.
#include "sim_fixture.h"

#include <sys/stat.h>

namespace platform_test {
namespace {

class MachineFile : public SimTest {};

// Starts a child on the machine text and makes one platform call; how it ended.
ChildEnd startOn(const std::string& path) {
    return inChild({{"SORVANE_MACHINE", path}, {"SORVANE_MACHINE_LOG", std::nullopt}}, [] {
        const auto address = at(code("dev#"));
        UInt32 size = 0;
        AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, &address, 0, nullptr, &size);
    });
}

TEST_F(MachineFile, FilesThatAreNotMachines) {
    struct Case {
        std::string text;
        std::string complaint;  // after "simulated machine: PATH: "
    };
    const std::vector<Case> cases = {
        {"", "is not valid JSON"},
        {"{\"devices\": [", "is not valid JSON"},
        {"[]", "the machine is not an object"},
        {R"({"system": 15})", "system is not a string"},
        {R"({"system": "fifteen"})", "system is not a version such as \"15.0\""},
        {R"({"defaultOutput": 5})", "defaultOutput is not a string"},
        {R"({"devices": {}})", "devices is not an array"},
        {R"({"devices": [{"name": "x"}]})", "devices[0] has no \"uid\""},
        {R"({"devices": [{"uid": "a"}, {"uid": "a"}]})", "devices[1].uid \"a\" names an earlier device too"},
        {R"({"devices": [{"uid": "a", "rate": "48000"}]})", "devices[0].rate is not a number"},
        {R"({"devices": [{"uid": "a", "rate": 1e999}]})", "is not valid JSON"},  // no infinities in JSON
        {R"({"devices": [{"uid": "a", "rates": [[48000]]}]})", "devices[0].rates[0] is not a [minimum, maximum] pair"},
        {R"({"devices": [{"uid": "a", "rates": [[96000, 44100]]}]})",
         "devices[0].rates[0] has its minimum above its maximum"},
        {R"({"devices": [{"uid": "a", "output": [-1]}]})", "devices[0].output[0] is out of range"},
        {R"({"devices": [{"uid": "a", "output": [2.5]}]})", "devices[0].output[0] is not an integer"},
        {R"({"devices": [{"uid": "a", "input": [{"fault": 5}]}]})", "devices[0].input[0] has no \"channels\""},
        {R"({"devices": [{"uid": "a", "output": [{"channels": 2, "fault": "broken"}]}]})",
         "devices[0].output[0].fault is not a fault"},
        {R"({"devices": [{"uid": "a", "layout": "AgBl AAAA"}]})", "devices[0].layout is not valid base64"},
        {R"({"devices": [{"uid": "a", "volume": {"left": 1}}]})",
         "devices[0].volume has the key \"left\", not a decimal element number"},
        {R"({"devices": [{"uid": "a", "volume": {"01": 1}}]})",
         "devices[0].volume has the key \"01\", not a decimal element number"},
        {R"({"devices": [{"uid": "a", "volume": {"1": "loud"}}]})", "devices[0].volume.1 is not a number"},
        {R"({"devices": [{"uid": "a", "faults": {"nsr": 5}}]})",
         "devices[0].faults has the key \"nsr\", not a four-character selector"},
        {R"({"devices": [{"uid": "a", "faults": {"nsrt": "gone"}}]})", "devices[0].faults.nsrt is not a fault"},
        {R"({"devices": [{"uid": "a", "faults": {"nsrt": 1.5}}]})", "devices[0].faults.nsrt is not a fault"},
        {R"({"processes": [{"bundleId": "x"}]})", "processes[0] has no \"pid\""},
        {R"({"processes": [{"pid": 1.5}]})", "processes[0].pid is not an integer"},
        {R"({"processes": [{"pid": 4294967296}]})", "processes[0].pid is out of range"},
        {R"({"processes": [{"pid": 1, "playing": "yes"}]})", "processes[0].playing is not true or false"},
        {R"({"processes": [{"pid": 1, "devices": [1]}]})", "processes[0].devices[0] is not a string"},
        {R"({"processes": [{"pid": 1, "level": null}]})", "processes[0].level is not a number"},
        {R"({"apps": [{"pid": "me"}]})", "apps[0].pid is neither an integer nor \"parent\""},
        {R"({"apps": [{"pid": 1, "policy": 3}]})", "apps[0].policy is out of range"},
        {R"({"tap": {"clock": "slow"}})", "tap.clock is neither \"realtime\" nor \"fast\""},
        {R"({"tap": {"frames": 0}})", "tap.frames is out of range"},
        {R"({"tap": {"bits": 12}})", "tap.bits is not a whole number of bytes"},
        {R"({"tap": {"faults": {"begin": 1}}})", "tap.faults has an unknown member \"begin\""},
        {R"({"tap": {"faults": {"start": "no"}}})", "tap.faults.start is not an integer"},
        {R"({"setDelayMs": -1})", "setDelayMs is out of range"},
        {R"({"faults": {"dOut": [1]}})", "faults.dOut is not a fault"},
    };
    harness::TempDir dir;
    const std::string path = dir.file("machine.json");
    for (const Case& c : cases) {
        harness::writeFile(path, c.text);
        const ChildEnd end = startOn(path);
        EXPECT_EQ(end.status, 3) << c.text;
        const std::string prefix = "simulated machine: " + path + ": " + c.complaint;
        EXPECT_EQ(end.err.substr(0, prefix.size()), prefix) << c.text;
        EXPECT_EQ(std::count(end.err.begin(), end.err.end(), '\n'), 1) << end.err;
    }
}

TEST_F(MachineFile, AMissingFileIsASetUpError) {
    harness::TempDir dir;
    const ChildEnd end = startOn(dir.file("nowhere.json"));
    EXPECT_EQ(end.status, 3);
    EXPECT_EQ(end.err.rfind("simulated machine: " + dir.file("nowhere.json") + ": cannot be read", 0), 0u) << end.err;
}

TEST_F(MachineFile, AFileThatBreaksLaterIsASetUpErrorToo) {
    use(studio());
    const auto end = inChild({}, [this] {
        readList(kAudioObjectSystemObject, code("dev#"));
        harness::writeFile(machine().path(), R"({"devices": 3})");
        readList(kAudioObjectSystemObject, code("dev#"));
    });
    EXPECT_EQ(end.status, 3);
    EXPECT_EQ(end.err, "simulated machine: " + machine().path() + ": devices is not an array\n");
}

TEST_F(MachineFile, TheBuiltInMachineIsKeptUnderTheTemporaryFolder) {
    harness::TempDir dir;
    const std::string kept = dir.file("sorvane-machine-" + std::to_string(getuid()) + ".json");
    const auto first = inChild({{"SORVANE_MACHINE", std::nullopt}, {"TMPDIR", dir.path()}}, [] {
        if (readList(kAudioObjectSystemObject, code("dev#")).size() < 3) _exit(10);
        const AudioObjectID speakers = translate("BuiltInSpeakerDevice");
        if (readText(speakers, code("lnam")).second != "Built-in Speakers") _exit(11);
        if (read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))).second != speakers) _exit(12);
        const AudioObjectID studio = translate("StudioInterface");
        if (readList(studio, code("stm#"), kAudioObjectPropertyScopeOutput).size() != 2) _exit(13);
        if (read<AudioObjectID>(kAudioObjectSystemObject, at(code("dIn "))).second == 0) _exit(14);
        if (readList(kAudioObjectSystemObject, code("prs#")).size() < 3) _exit(15);
        if (write<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut")), studio) != 0) _exit(16);
    });
    EXPECT_EQ(first.status, 0) << first.err;
    ASSERT_TRUE(harness::exists(kept));
    // A second run finds the switch persisted.
    const auto second = inChild({{"SORVANE_MACHINE", std::nullopt}, {"TMPDIR", dir.path()}}, [] {
        if (read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))).second != translate("StudioInterface")) {
            _exit(20);
        }
    });
    EXPECT_EQ(second.status, 0) << second.err;
}

}  // namespace
}  // namespace platform_test
