// Reading the machine through the property calls: objects, lists, records, strings and sizes.
#include "sim_fixture.h"

namespace platform_test {
namespace {

class Properties : public SimTest {
protected:
    void SetUp() override { use(studio()); }
};

TEST_F(Properties, SystemListsDevicesProcessesAndDefaults) {
    EXPECT_EQ(readList(kAudioObjectSystemObject, code("dev#")),
              (std::vector<AudioObjectID>{device(0), device(1), device(2)}));
    EXPECT_EQ(readList(kAudioObjectSystemObject, code("prs#")),
              (std::vector<AudioObjectID>{process(0), process(1), process(2), process(3)}));
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut"))), std::make_pair(OSStatus(0), device(0)));
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dIn "))), std::make_pair(OSStatus(0), device(2)));
}

TEST_F(Properties, DefaultNamingNoDeviceReadsZero) {
    auto description = studio();
    description["defaultOutput"] = "unplugged";
    description["defaultInput"] = nullptr;
    use(description);
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dOut")), 7).second, kAudioObjectUnknown);
    EXPECT_EQ(read<AudioObjectID>(kAudioObjectSystemObject, at(code("dIn ")), 7).second, kAudioObjectUnknown);
}

TEST_F(Properties, TranslationsAnswerZeroForTheUnknown) {
    OSStatus status = -1;
    EXPECT_EQ(translate("studio", &status), device(1));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(translate("nobody", &status), kAudioObjectUnknown);
    EXPECT_EQ(status, 0);

    const auto address = at(code("id2p"));
    for (const auto& [pid, expected] : std::vector<std::pair<pid_t, AudioObjectID>>{{502, process(1)}, {999, 0}}) {
        AudioObjectID object = 77;
        UInt32 size = sizeof object;
        EXPECT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, sizeof pid, &pid, &size, &object), 0);
        EXPECT_EQ(object, expected) << pid;
    }
}

TEST_F(Properties, UnknownObjectsAndProperties) {
    const auto uid = at(code("uid "));
    CFStringRef ref = nullptr;
    UInt32 size = sizeof ref;
    Boolean settable = 1;
    EXPECT_EQ(AudioObjectGetPropertyData(4242, &uid, 0, nullptr, &size, &ref), kAudioHardwareBadObjectError);
    EXPECT_FALSE(AudioObjectHasProperty(4242, &uid));
    EXPECT_EQ(AudioObjectIsPropertySettable(kAudioObjectUnknown, &uid, &settable), kAudioHardwareBadObjectError);
    EXPECT_EQ(write<Float64>(4242, at(code("nsrt")), 48000), kAudioHardwareBadObjectError);

    EXPECT_EQ(read<UInt32>(device(0), at(code("zzzz"))).first, kAudioHardwareUnknownPropertyError);
    // The microphone has no name, no rate and no output volume.
    const auto name = at(code("lnam"));
    EXPECT_FALSE(AudioObjectHasProperty(device(2), &name));
    EXPECT_EQ(readText(device(2), code("lnam")).first, kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(read<Float64>(device(2), at(code("nsrt"))).first, kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(read<Float32>(device(1), at(code("volm"), kAudioObjectPropertyScopeOutput, 3)).first,
              kAudioHardwareUnknownPropertyError);
}

TEST_F(Properties, StringsOfDevices) {
    EXPECT_EQ(textRead(device(1), code("uid ")), "0 studio");
    EXPECT_EQ(textRead(device(0), code("lnam")), "0 Speakers");
}

TEST_F(Properties, StreamConfigurationHasOneBufferPerStream) {
    for (const auto& [object, scope, expected] : std::vector<std::tuple<AudioObjectID, UInt32, std::vector<UInt32>>>{
             {device(1), kAudioObjectPropertyScopeOutput, {2, 8}},
             {device(1), kAudioObjectPropertyScopeInput, {2}},
             {device(2), kAudioObjectPropertyScopeOutput, {}}}) {
        const auto address = at(code("slay"), scope);
        UInt32 size = 0;
        ASSERT_EQ(AudioObjectGetPropertyDataSize(object, &address, 0, nullptr, &size), 0);
        EXPECT_EQ(size, 8 + 16 * expected.size());
        std::vector<std::uint64_t> storage(size / 8 + 1, ~0ULL);
        ASSERT_EQ(AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, storage.data()), 0);
        const auto* list = reinterpret_cast<const AudioBufferList*>(storage.data());
        ASSERT_EQ(list->mNumberBuffers, expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const AudioBuffer* buffer = list->mBuffers + i;
            EXPECT_EQ(buffer->mNumberChannels, expected[i]);
            EXPECT_EQ(buffer->mDataByteSize, 0u);
            EXPECT_EQ(buffer->mData, nullptr);
        }
    }
}

TEST_F(Properties, SizesTooSmall) {
    // A record needs its whole size; a string reference 8 bytes; a plain value its own size.
    const auto slay = at(code("slay"), kAudioObjectPropertyScopeOutput);
    std::uint64_t storage[8] = {};
    UInt32 size = 8 + 16;
    EXPECT_EQ(AudioObjectGetPropertyData(device(1), &slay, 0, nullptr, &size, storage),
              kAudioHardwareBadPropertySizeError);

    const auto uid = at(code("uid "));
    size = 4;
    EXPECT_EQ(AudioObjectGetPropertyData(device(1), &uid, 0, nullptr, &size, storage),
              kAudioHardwareBadPropertySizeError);

    const auto rate = at(code("nsrt"));
    size = 4;
    EXPECT_EQ(AudioObjectGetPropertyData(device(1), &rate, 0, nullptr, &size, storage),
              kAudioHardwareBadPropertySizeError);
    EXPECT_EQ(sim::stringsAlive(), 0);
}

TEST_F(Properties, ListsTakeTheWholeItemsThatFit) {
    const auto devices = at(code("dev#"));
    AudioObjectID list[3] = {0, 0, 0};
    UInt32 size = 2 * sizeof(AudioObjectID) + 3;
    ASSERT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &devices, 0, nullptr, &size, list), 0);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(list[0], device(0));
    EXPECT_EQ(list[1], device(1));
    EXPECT_EQ(list[2], 0u);
}

TEST_F(Properties, RatesAndStreams) {
    const auto address = at(code("nsr#"));
    UInt32 size = 0;
    ASSERT_EQ(AudioObjectGetPropertyDataSize(device(0), &address, 0, nullptr, &size), 0);
    ASSERT_EQ(size, 3 * sizeof(AudioValueRange));
    AudioValueRange ranges[3] = {};
    ASSERT_EQ(AudioObjectGetPropertyData(device(0), &address, 0, nullptr, &size, ranges), 0);
    EXPECT_EQ(ranges[2].mMinimum, 88200);
    EXPECT_EQ(ranges[2].mMaximum, 96000);

    const auto outputs = readList(device(1), code("stm#"), kAudioObjectPropertyScopeOutput);
    const auto inputs = readList(device(1), code("stm#"), kAudioObjectPropertyScopeInput);
    ASSERT_EQ(outputs.size(), 2u);
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(readList(device(1), code("stm#")), (std::vector<AudioObjectID>{outputs[0], outputs[1], inputs[0]}));

    const auto [status, format] = read<AudioStreamBasicDescription>(outputs[1], at(code("sfmt")));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(format.mSampleRate, 44100);
    EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
    EXPECT_EQ(format.mFormatFlags, UInt32(kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked));
    EXPECT_EQ(format.mChannelsPerFrame, 8u);
    EXPECT_EQ(format.mBitsPerChannel, 32u);
    EXPECT_EQ(format.mBytesPerFrame, 32u);
    // A device without a rate reports its streams at 48000.
    const auto mic = readList(device(2), code("stm#"), kAudioObjectPropertyScopeInput);
    ASSERT_EQ(mic.size(), 1u);
    EXPECT_EQ(read<AudioStreamBasicDescription>(mic[0], at(code("sfmt"))).second.mSampleRate, 48000);
}

TEST_F(Properties, Processes) {
    EXPECT_EQ(read<pid_t>(process(1), at(code("ppid"))).second, 502);
    EXPECT_EQ(read<UInt32>(process(0), at(code("piro"))).second, 1u);
    EXPECT_EQ(read<UInt32>(process(2), at(code("piro")), 9).second, 0u);
    EXPECT_EQ(readText(process(0), code("pbid")).second, "com.example.music");
    // No bundle identifier: success with a null reference.
    EXPECT_EQ(textRead(process(3), code("pbid")), "0 (null)");
    // A UID that names no device is identifier 0 in the list.
    EXPECT_EQ(readList(process(0), code("pdv#"), kAudioObjectPropertyScopeOutput),
              (std::vector<AudioObjectID>{device(0), 0}));
    EXPECT_TRUE(readList(process(0), code("pdv#"), kAudioObjectPropertyScopeInput).empty());
}

TEST_F(Properties, OnlyDefaultsRateLayoutAndVolumeAreSettable) {
    const std::vector<std::tuple<AudioObjectID, AudioObjectPropertyAddress, bool>> cases = {
        {kAudioObjectSystemObject, at(code("dOut")), true},
        {kAudioObjectSystemObject, at(code("dIn ")), true},
        {kAudioObjectSystemObject, at(code("dev#")), false},
        {device(0), at(code("nsrt")), true},
        {device(1), at(code("srnd"), kAudioObjectPropertyScopeOutput), true},
        {device(0), at(code("volm"), kAudioObjectPropertyScopeOutput, 0), true},
        {device(0), at(code("uid ")), false},
        {device(0), at(code("nsr#")), false},
        {process(0), at(code("ppid")), false},
    };
    for (const auto& [object, address, expected] : cases) {
        Boolean settable = 2;
        EXPECT_EQ(AudioObjectIsPropertySettable(object, &address, &settable), 0);
        EXPECT_EQ(settable != 0, expected) << object << " " << address.mSelector;
    }
    const std::string before = fileText();
    EXPECT_EQ(write<pid_t>(process(0), at(code("ppid")), 7), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(write<AudioObjectID>(kAudioObjectSystemObject, at(code("dev#")), 7), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(fileText(), before);
    EXPECT_EQ(calls("AudioObjectSetPropertyData").size(), 2u);  // refused writes are still logged
}

}  // namespace
}  // namespace platform_test
