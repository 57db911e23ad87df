// 'dflt' and the default writes it governs: a device that says it is no possible selection for a
// role is refused as that role's default, as the HAL refuses it.
#include "sim_fixture.h"

namespace platform_test {
namespace {

class CanBeDefault : public SimTest {
protected:
    void SetUp() override {
        machine.write(nlohmann::json::parse(R"({"defaultOutput": "spk", "defaultInput": "mic", "devices": [
          {"uid": "spk", "output": [2]}, {"uid": "bridge", "output": [2], "input": [2], "canBeDefault": false},
          {"uid": "mic", "input": [1]}]})"));
        SimTest::SetUp();
    }
};

TEST_F(CanBeDefault, ReadsByScopeAndRefusesTheDefaultOfEitherRole) {
    constexpr UInt32 in = kAudioObjectPropertyScopeInput;
    EXPECT_EQ(read<UInt32>(device(0), at("dflt", out)), std::make_pair(OSStatus(0), UInt32(1)));
    EXPECT_EQ(read<UInt32>(device(0), at("dflt", in)), std::make_pair(OSStatus(0), UInt32(0)));
    EXPECT_EQ(read<UInt32>(device(1), at("dflt", out)), std::make_pair(OSStatus(0), UInt32(0)));
    EXPECT_EQ(read<UInt32>(device(1), at("dflt")).first, kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(write<AudioObjectID>(1, at("dOut"), device(1)), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(write<AudioObjectID>(1, at("dIn "), device(1)), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(machine.state()["defaultOutput"], "spk");
    EXPECT_EQ(machine.state()["defaultInput"], "mic");
}

}  // namespace
}  // namespace platform_test
