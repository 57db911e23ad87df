// Faults from the machine file: statuses, absent properties, read-only properties and null strings.
#include "sim_fixture.h"

namespace platform_test {
namespace {

class Faults : public SimTest {};

nlohmann::json withFaults(const nlohmann::json& deviceFaults, const nlohmann::json& processFaults = nullptr,
                          const nlohmann::json& systemFaults = nullptr) {
    auto description = studio();
    description["devices"][0]["faults"] = deviceFaults;
    if (!processFaults.is_null()) description["processes"][0]["faults"] = processFaults;
    if (!systemFaults.is_null()) description["faults"] = systemFaults;
    return description;
}

TEST_F(Faults, AStatusAnswersEveryCallButTheExistenceQuestion) {
    use(withFaults({{"nsrt", 560947818}}));  // '!siz' spelled as a number is fine too; any status
    const auto address = at(code("nsrt"));
    EXPECT_TRUE(AudioObjectHasProperty(device(0), &address));
    Boolean settable = 1;
    EXPECT_EQ(AudioObjectIsPropertySettable(device(0), &address, &settable), 560947818);
    UInt32 size = 0;
    EXPECT_EQ(AudioObjectGetPropertyDataSize(device(0), &address, 0, nullptr, &size), 560947818);
    EXPECT_EQ(read<Float64>(device(0), address).first, 560947818);
    const std::string before = fileText();
    EXPECT_EQ(write<Float64>(device(0), address, 44100), 560947818);
    EXPECT_EQ(fileText(), before);
    // Other properties and other devices are untouched.
    EXPECT_EQ(read<Float64>(device(1), address).first, 0);
    EXPECT_EQ(readText(device(0), code("uid ")).first, 0);
}

TEST_F(Faults, AbsentHidesAProperty) {
    use(withFaults({{"uid ", "absent"}, {"nsrt", "absent"}}));
    const auto uid = at(code("uid "));
    EXPECT_FALSE(AudioObjectHasProperty(device(0), &uid));
    EXPECT_EQ(readText(device(0), code("uid ")).first, kAudioHardwareUnknownPropertyError);
    Boolean settable = 1;
    EXPECT_EQ(AudioObjectIsPropertySettable(device(0), &uid, &settable), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(write<Float64>(device(0), at(code("nsrt")), 44100), kAudioHardwareUnknownPropertyError);
}

TEST_F(Faults, ReadOnlyReadsButRefusesWrites) {
    use(withFaults({{"volm", "readonly"}}));
    const auto address = at(code("volm"), kAudioObjectPropertyScopeOutput, 0);
    EXPECT_EQ(read<Float32>(device(0), address), std::make_pair(OSStatus(0), 0.5f));
    Boolean settable = 1;
    EXPECT_EQ(AudioObjectIsPropertySettable(device(0), &address, &settable), 0);
    EXPECT_EQ(settable, 0);
    const std::string before = fileText();
    EXPECT_EQ(write<Float32>(device(0), address, 0.25f), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(fileText(), before);
}

TEST_F(Faults, NullGivesSuccessWithoutAString) {
    auto description = withFaults({{"lnam", "null"}}, {{"pbid", "null"}});
    description["devices"][2]["faults"] = {{"lnam", "null"}};  // the microphone has no name at all
    use(description);
    EXPECT_EQ(textRead(device(0), code("lnam")), "0 (null)");
    EXPECT_EQ(textRead(device(2), code("lnam")), "0 (null)");
    EXPECT_EQ(textRead(process(0), code("pbid")), "0 (null)");
    EXPECT_EQ(sim::stringsAlive(), 0);
}

TEST_F(Faults, SystemAndProcessFaults) {
    use(withFaults(nlohmann::json::object(), {{"piro", 2003332927}}, {{"dOut", 2003332927}, {"dev#", "absent"}}));
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))).first, 2003332927);
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dIn "))).first, 0);
    const auto devices = at(code("dev#"));
    EXPECT_FALSE(AudioObjectHasProperty(kAudioObjectSystemObject, &devices));
    EXPECT_TRUE(readList(kAudioObjectSystemObject, code("dev#")).empty());
    EXPECT_EQ(read<UInt32>(process(0), at(code("piro"))).first, 2003332927);
    EXPECT_EQ(read<UInt32>(process(1), at(code("piro"))).first, 0);
    const std::string before = fileText();
    EXPECT_EQ(write<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut")), device(1)), 2003332927);
    EXPECT_EQ(fileText(), before);
}

TEST_F(Faults, AStreamWhoseFormatCannotBeRead) {
    auto description = studio();
    description["devices"][1]["output"] = {2, {{"channels", 8}, {"fault", 2003332927}}};
    use(description);
    const auto streams = readList(device(1), code("stm#"), kAudioObjectPropertyScopeOutput);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(read<AudioStreamBasicDescription>(streams[0], at(code("sfmt"))).first, 0);
    EXPECT_EQ(read<AudioStreamBasicDescription>(streams[1], at(code("sfmt"))).first, 2003332927);
    // The stream still counts its channels in the configuration.
    const auto slay = at(code("slay"), kAudioObjectPropertyScopeOutput);
    std::uint64_t storage[8] = {};
    UInt32 size = sizeof storage;
    ASSERT_EQ(AudioObjectGetPropertyData(device(1), &slay, 0, nullptr, &size, storage), 0);
    const auto* list = reinterpret_cast<const AudioBufferList*>(storage);
    EXPECT_EQ((list->mBuffers + 1)->mNumberChannels, 8u);
}

}  // namespace
}  // namespace platform_test
