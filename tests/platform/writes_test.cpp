// Property writes: refused ones change nothing, concurrent writers lose nothing, unplugged devices stay unwritten.
#include "sim_fixture.h"

namespace platform_test {
namespace {

using Writes = SimTest;

TEST_F(Writes, RefusedWritesChangeNothing) {
    constexpr OSStatus illegal = kAudioHardwareIllegalOperationError, unknown = kAudioHardwareUnknownPropertyError;
    const auto bytes = [](auto value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); };
    const std::vector<std::tuple<const char*, AudioObjectID, AudioObjectPropertyAddress, std::string, OSStatus>>
        cases = {
        {"rate in no range", device(0), at("nsrt"), bytes(Float64(50000)), illegal},
        {"rate of zero", device(1), at("nsrt"), bytes(Float64(0)), illegal},
        {"short rate", device(0), at("nsrt"), bytes(Float32(48000)), kAudioHardwareBadPropertySizeError},
        {"rate the device lacks", device(2), at("nsrt"), bytes(Float64(48000)), unknown},
        {"volume above 1", device(1), at("volm", out, 1), bytes(Float32(1.5f)), illegal},
        {"volume below 0", device(1), at("volm", out, 1), bytes(Float32(-0.1f)), illegal},
        {"volume of a missing element", device(1), at("volm", out, 3), bytes(Float32(0.5f)), unknown},
        {"layout under 12 bytes", device(1), at("srnd", out), std::string(11, '\0'), illegal},
        {"output default without outputs", systemObject, at("dOut"), bytes(device(2)), illegal},
        {"input default without inputs", systemObject, at("dIn "), bytes(device(0)), illegal},
        {"default that is no device", systemObject, at("dOut"), bytes(process(0)), illegal},
        {"the device list", systemObject, at("dev#"), bytes(device(0)), illegal},
        {"a process's pid", process(0), at("ppid"), bytes(pid_t(7)), illegal},
        {"an object that is not there", 4242, at("nsrt"), bytes(Float64(48000)), kAudioHardwareBadObjectError},
    };
    const std::string before = fileText();
    for (const auto& [what, object, address, data, expected] : cases) {
        EXPECT_EQ(AudioObjectSetPropertyData(object, &address, 0, nullptr, UInt32(data.size()), data.data()), expected)
            << what;
    }
    EXPECT_EQ(fileText(), before);
}

TEST_F(Writes, ConcurrentWritersInSeveralProcessesLoseNothing) {
    // Each steps its own volume element; without the lock and a fresh read under it, one would undo the other.
    EXPECT_EQ(inChildren(2, [](int child) {
                  for (int i = 1; i <= 40; ++i) {
                      if (write<Float32>(device(1), at("volm", out, UInt32(child + 1)), i / 64.0f) != 0) _exit(1);
                  }
              }), (std::vector<int>{0, 0}));
    EXPECT_EQ(machine->state()["devices"][1]["volume"], (nlohmann::json{{"1", 40 / 64.0}, {"2", 40 / 64.0}}));
}

TEST_F(Writes, AWriteToADeviceUnpluggedMeanwhileIsRefused) {
    EXPECT_EQ(read<Float64>(device(2), at("nsrt")).first, kAudioHardwareUnknownPropertyError);  // the mic, known
    auto fewer = studio();
    fewer["devices"].erase(1);
    machine->write(fewer);
    EXPECT_EQ(write<Float64>(device(2), at("nsrt"), 48000), kAudioHardwareBadObjectError);  // names nothing now
    EXPECT_EQ(machine->state(), fewer);
}

}  // namespace
}  // namespace platform_test
