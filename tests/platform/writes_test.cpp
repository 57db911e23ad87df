// Property writes: what reaches the machine file, what is refused without a trace in it, and the
// locking that keeps concurrent writers from losing each other's changes.
#include "sim_fixture.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace platform_test {
namespace {

class Writes : public SimTest {
protected:
    void SetUp() override { use(studio()); }
    nlohmann::json state() { return machine().state(); }
};

TEST_F(Writes, AcceptedWritesReachTheFile) {
    EXPECT_EQ(write<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut")), device(1)), 0);
    EXPECT_EQ(write<AudioObjectID>(kAudioObjectSystemObject, at(code("dIn ")), device(1)), 0);
    EXPECT_EQ(write<Float64>(device(0), at(code("nsrt")), 90000), 0);  // inside the 88200–96000 range
    const std::uint8_t layout[32] = {3, 0, 0x65, 0, 0, 0, 0, 0, 1, 0, 0, 0, 7};
    const auto srnd = at(code("srnd"), kAudioObjectPropertyScopeOutput);
    EXPECT_EQ(AudioObjectSetPropertyData(device(1), &srnd, 0, nullptr, sizeof layout, layout), 0);

    const auto file = state();
    EXPECT_EQ(file["defaultOutput"], "studio");
    EXPECT_EQ(file["defaultInput"], "studio");
    EXPECT_EQ(file["devices"][0]["rate"], 90000.0);
    EXPECT_EQ(file["devices"][1]["layout"], "AwBlAAAAAAABAAAABwAAAAAAAAAAAAAAAAAAAAAAAAA=");
    // Everything else stays as it was.
    auto expected = studio();
    expected["defaultOutput"] = "studio";
    expected["defaultInput"] = "studio";
    expected["devices"][0]["rate"] = 90000.0;
    expected["devices"][1]["layout"] = file["devices"][1]["layout"];
    EXPECT_EQ(file, expected);

    // And a fresh start reads them back.
    sim::resetForTests();
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))).second, device(1));
    EXPECT_EQ(read<Float64>(device(0), at(code("nsrt"))).second, 90000);
    std::uint8_t back[32] = {};
    UInt32 size = sizeof back;
    ASSERT_EQ(AudioObjectGetPropertyData(device(1), &srnd, 0, nullptr, &size, back), 0);
    EXPECT_EQ(size, sizeof layout);
    EXPECT_EQ(std::memcmp(back, layout, sizeof layout), 0);
}

TEST_F(Writes, VolumesAreKeptAsThirtyTwoBitFloats) {
    const auto address = at(code("volm"), kAudioObjectPropertyScopeOutput, 2);
    ASSERT_EQ(write<Float32>(device(1), address, 0.7f), 0);
    const double stored = state()["devices"][1]["volume"]["2"].get<double>();
    EXPECT_EQ(stored, double(0.7f));
    EXPECT_NE(fileText().find("0.699999988079071"), std::string::npos);
    EXPECT_EQ(read<Float32>(device(1), address).second, 0.7f);
}

TEST_F(Writes, RefusedWritesChangeNothing) {
    struct Case {
        const char* what;
        AudioObjectID object;
        AudioObjectPropertyAddress address;
        std::vector<std::uint8_t> bytes;
        OSStatus expected;
    };
    auto bytesOf = [](auto value) {
        std::vector<std::uint8_t> bytes(sizeof value);
        std::memcpy(bytes.data(), &value, sizeof value);
        return bytes;
    };
    const auto volume = at(code("volm"), kAudioObjectPropertyScopeOutput, 1);
    const std::vector<Case> cases = {
        {"rate in no range", device(0), at(code("nsrt")), bytesOf(Float64(50000)), kAudioHardwareIllegalOperationError},
        {"rate of zero", device(1), at(code("nsrt")), bytesOf(Float64(0)), kAudioHardwareIllegalOperationError},
        {"volume above 1", device(1), volume, bytesOf(Float32(1.5f)), kAudioHardwareIllegalOperationError},
        {"volume below 0", device(1), volume, bytesOf(Float32(-0.1f)), kAudioHardwareIllegalOperationError},
        {"volume of a missing element", device(1), at(code("volm"), kAudioObjectPropertyScopeOutput, 3),
         bytesOf(Float32(0.5f)), kAudioHardwareUnknownPropertyError},
        {"layout under 12 bytes", device(1), at(code("srnd"), kAudioObjectPropertyScopeOutput),
         std::vector<std::uint8_t>(11, 0), kAudioHardwareIllegalOperationError},
        {"output default without outputs", kAudioObjectSystemObject, at(code("dOut")), bytesOf(device(2)),
         kAudioHardwareIllegalOperationError},
        {"input default without inputs", kAudioObjectSystemObject, at(code("dIn ")), bytesOf(device(0)),
         kAudioHardwareIllegalOperationError},
        {"default that is no device", kAudioObjectSystemObject, at(code("dOut")), bytesOf(process(0)),
         kAudioHardwareIllegalOperationError},
        {"short rate", device(0), at(code("nsrt")), std::vector<std::uint8_t>(4, 0), kAudioHardwareBadPropertySizeError},
        {"rate the device lacks", device(2), at(code("nsrt")), bytesOf(Float64(48000)),
         kAudioHardwareUnknownPropertyError},
    };
    const std::string before = fileText();
    for (const Case& c : cases) {
        EXPECT_EQ(AudioObjectSetPropertyData(c.object, &c.address, 0, nullptr, UInt32(c.bytes.size()), c.bytes.data()),
                  c.expected)
            << c.what;
    }
    EXPECT_EQ(fileText(), before);
}

TEST_F(Writes, ChangesByOthersAreSeenAtTheNextCall) {
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))).second, device(0));
    auto unplugged = studio();
    unplugged["devices"].erase(0);  // the speakers go; the studio interface moves up
    unplugged["defaultOutput"] = "studio";
    machine().write(unplugged);
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))).second, device(0));
    EXPECT_EQ(readText(device(0), code("uid ")).second, "studio");
    EXPECT_EQ(translate("spk"), kAudioObjectUnknown);

    // Rewritten in place, same length, within the same clock tick: still seen.
    std::string text = fileText();
    const auto at44100 = text.find("44100");
    ASSERT_NE(at44100, std::string::npos);
    text.replace(at44100, 5, "44200");
    harness::writeFile(machine().path(), text);
    EXPECT_EQ(read<Float64>(device(0), at(code("nsrt"))).second, 44200);
}

TEST_F(Writes, AWriteToADeviceUnpluggedMeanwhileIsRefused) {
    EXPECT_EQ(read<Float64>(device(2), at(code("nsr#"))).first, kAudioHardwareUnknownPropertyError);
    auto fewer = studio();
    fewer["devices"].erase(1);
    machine().write(fewer);
    // The identifier the caller still holds now names nothing.
    EXPECT_EQ(write<Float64>(device(2), at(code("nsrt")), 48000), kAudioHardwareBadObjectError);
    EXPECT_EQ(machine().state(), fewer);
}

TEST_F(Writes, ReplacesTheFileWholeAndLeavesNoTemporaryFiles) {
    struct stat old {};
    ASSERT_EQ(stat(machine().path().c_str(), &old), 0);
    ASSERT_EQ(write<Float64>(device(0), at(code("nsrt")), 44100), 0);
    struct stat now {};
    ASSERT_EQ(stat(machine().path().c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old.st_ino);  // a new file renamed over the old one

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(machine().path()).parent_path())) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"calls.log", "machine.json", "machine.json.lock"}));
}

TEST_F(Writes, WaitsForTheLockHeldByAnotherWriter) {
    const std::string lockPath = machine().path() + ".lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        write<Float64>(device(0), at(code("nsrt")), 44100);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load());
    EXPECT_EQ(machine().state()["devices"][0]["rate"], 48000);
    flock(fd, LOCK_UN);
    ::close(fd);
    writer.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(machine().state()["devices"][0]["rate"], 44100.0);
}

TEST_F(Writes, ConcurrentWritersInSeveralProcessesLoseNothing) {
    // Two processes each step their own volume element through many values at the same time;
    // without the lock and the fresh read under it, one would write back the other's old value.
    constexpr int steps = 40;
    std::vector<pid_t> children;
    for (UInt32 element : {1u, 2u}) {
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            sim::resetForTests();
            for (int i = 1; i <= steps; ++i) {
                const Float32 value = Float32(i) / 64.0f;
                if (write<Float32>(device(1), at(code("volm"), kAudioObjectPropertyScopeOutput, element), value) != 0) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto volume = machine().state()["devices"][1]["volume"];
    EXPECT_EQ(volume["1"], double(steps) / 64.0);
    EXPECT_EQ(volume["2"], double(steps) / 64.0);
}

}  // namespace
}  // namespace platform_test
