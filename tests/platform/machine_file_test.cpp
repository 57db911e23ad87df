// The machine file: one that is not a machine ends the process with one line and status 3; the built-in
// machine persists; writers in several processes lose nothing.
#include "sim_fixture.h"

#include <fcntl.h>

namespace platform_test {
namespace {

TEST(MachineFile, FilesThatAreNotMachines) {
    // One row for each kind of complaint, at paths of every form.
    const std::string dev = R"({"devices":[{"uid":"a",)";
    const std::vector<std::pair<std::optional<std::string>, std::string>> cases = {
        {std::nullopt, "cannot be read"}, {dev + R"("rate":1e999}]})", "is not valid JSON"},  // no infinities
        {"[]", "the machine is not an object"}, {R"({"defaultOutput":5})", "defaultOutput is not a string"},
        {R"({"system":"fifteen"})", "system is not a version such as \"15.0\""},
        {R"({"devices":{}})", "devices is not an array"}, {R"({"devices":[5]})", "devices[0] is not an object"},
        {R"({"devices":[{"uid":"a"},{"uid":"a"}]})", "devices[1].uid \"a\" names an earlier device too"},
        {dev + R"("rates":[[48000]]}]})", "devices[0].rates[0] is not a [minimum, maximum] pair"},
        {dev + R"("rates":[[96000,44100]]}]})", "devices[0].rates[0] has its minimum above its maximum"},
        {dev + R"("layout":"AgBl AAAA"}]})", "devices[0].layout is not valid base64"},
        {dev + R"("volume":{"01":1}}]})", "devices[0].volume has the key \"01\", not a decimal element number"},
        {dev + R"("volume":{"1":"loud"}}]})", "devices[0].volume.1 is not a number"},
        {dev + R"("faults":{"nsr":5}}]})", "devices[0].faults has the key \"nsr\", not a four-character selector"},
        {R"({"processes":[{"bundleId":"x"}]})", "processes[0] has no \"pid\""},
        {R"({"processes":[{"pid":4294967296}]})", "processes[0].pid is out of range"},
        {R"({"processes":[{"pid":1,"playing":"yes"}]})", "processes[0].playing is not true or false"},
        {R"({"apps":[{"pid":"me"}]})", "apps[0].pid is neither an integer nor \"parent\""},
        {R"({"tap":{"clock":"slow"}})", "tap.clock is neither \"realtime\" nor \"fast\""},
        {R"({"tap":{"bits":12}})", "tap.bits is not a whole number of bytes"},
        {R"({"tap":{"faults":{"begin":1}}})", "tap.faults has an unknown member \"begin\""},
        {R"({"tap":{"faults":{"start":"no"}}})", "tap.faults.start is not an integer"},
        {R"({"faults":{"dOut":[1]}})", "faults.dOut is not a fault"},
    };
    const harness::TempDir dir;
    const std::string errPath = dir.file("stderr");
    for (const auto& [text, complaint] : cases) {
        const std::string path = dir.file(text ? "machine.json" : "nowhere.json");
        if (text) harness::writeFile(path, *text);
        EXPECT_EQ(inChildren(1, [&](int) {
                      dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
                      setenv("SORVANE_MACHINE", path.c_str(), 1);
                      unsetenv("SORVANE_MACHINE_LOG");
                      read<AudioObjectID>(kAudioObjectSystemObject, at("dOut"));
                  })[0], 3) << path << " " << text.value_or("");
        const std::string err = harness::readFile(errPath).value_or("");
        const std::string prefix = "simulated machine: " + path + ": " + complaint;
        EXPECT_TRUE(err.rfind(prefix, 0) == 0 && err.find('\n') == err.size() - 1) << prefix << "\n" << err;
    }
}

TEST(MachineFile, TheBuiltInMachineKeepsItsStateUnderTheTemporaryFolder) {
    const harness::TempDir dir;
    for (const AudioObjectID found : {device(0), device(1)}) {  // the second run finds the first one's switch
        EXPECT_EQ(inChildren(1, [&](int) {
                      unsetenv("SORVANE_MACHINE");
                      unsetenv("SORVANE_MACHINE_LOG");
                      setenv("TMPDIR", dir.path().c_str(), 1);
                      if (read<AudioObjectID>(kAudioObjectSystemObject, at("dOut")).second != found) _exit(1);
                      if (write<AudioObjectID>(kAudioObjectSystemObject, at("dOut"), device(1)) != 0) _exit(2);
                  })[0], 0);
        EXPECT_TRUE(harness::exists(dir.file("sorvane-machine-" + std::to_string(getuid()) + ".json")));
    }
}

using Writes = SimTest;

TEST_F(Writes, ConcurrentWritersInSeveralProcessesLoseNothing) {
    // Each steps its own volume element; without the lock and a fresh read under it, one would undo the other.
    EXPECT_EQ(inChildren(2, [](int child) {
                  for (int i = 1; i <= 40; ++i) {
                      if (write<Float32>(device(1), at("volm", out, UInt32(child + 1)), i / 64.0f) != 0) _exit(1);
                  }
              }), (std::vector<int>{0, 0}));
    EXPECT_EQ(machine.state()["devices"][1]["volume"], (nlohmann::json{{"1", 40 / 64.0}, {"2", 40 / 64.0}}));
}

}  // namespace
}  // namespace platform_test
