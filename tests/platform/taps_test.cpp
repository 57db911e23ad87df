// Process taps and the aggregate devices around them: what a tap reports, what the aggregate
// description must hold, and the tap faults.
#include "sim_fixture.h"

#include "apple.h"
#include "sim/cf_objects.h"
#include "sim/tapping.h"

namespace platform_test {
namespace {

class Taps : public SimTest {
protected:
    void SetUp() override { use(studio()); }

    AudioObjectID tapOf(CATapDescription& description, OSStatus expected = 0) {
        AudioObjectID tap = 0;
        EXPECT_EQ(AudioHardwareCreateProcessTap(&description, &tap), expected);
        return tap;
    }
};

CATapDescription mixdown(std::vector<AudioObjectID> processes) {
    CATapDescription d;
    d.processes = std::move(processes);
    d.uuid = apple::newUUIDString();
    return d;
}

CATapDescription deviceStream(std::vector<AudioObjectID> processes, std::string uid, unsigned long stream) {
    CATapDescription d = mixdown(std::move(processes));
    d.mixdown = false;
    d.deviceUID = std::move(uid);
    d.stream = stream;
    return d;
}

AudioStreamBasicDescription formatOf(AudioObjectID tap) {
    const auto [status, format] = read<AudioStreamBasicDescription>(tap, at(code("tfmt")));
    EXPECT_EQ(status, 0);
    return format;
}

TEST_F(Taps, UUIDsAreUpperCaseAndNew) {
    const std::string a = apple::newUUIDString();
    ASSERT_EQ(a.size(), 36u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(a[i], '-');
        } else {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(a[i])) || (a[i] >= 'A' && a[i] <= 'F')) << a;
        }
    }
    EXPECT_NE(a, apple::newUUIDString());
}

TEST_F(Taps, FormatFollowsTheTappedDevice) {
    auto stereo = mixdown({process(0)});
    const AudioStreamBasicDescription mix = formatOf(tapOf(stereo));
    EXPECT_EQ(mix.mSampleRate, 48000);  // the default output's rate
    EXPECT_EQ(mix.mChannelsPerFrame, 2u);
    EXPECT_EQ(mix.mFormatFlags, UInt32(kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked));
    EXPECT_EQ(mix.mBitsPerChannel, 32u);
    EXPECT_EQ(mix.mBytesPerFrame, 8u);

    auto eight = deviceStream({process(0)}, "studio", 1);
    const AudioStreamBasicDescription stream = formatOf(tapOf(eight));
    EXPECT_EQ(stream.mSampleRate, 44100);
    EXPECT_EQ(stream.mChannelsPerFrame, 8u);
}

TEST_F(Taps, FormatFollowsTheMachinesTapBehaviour) {
    auto description = studio();
    description["tap"] = {{"float", false}, {"bits", 16}, {"interleaved", false}, {"channels", 1}};
    description.erase("defaultOutput");
    use(description);
    auto stereo = mixdown({process(0)});
    const AudioStreamBasicDescription f = formatOf(tapOf(stereo));
    EXPECT_EQ(f.mSampleRate, 48000);  // no default output
    EXPECT_EQ(f.mFormatFlags, UInt32(kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked |
                                     kAudioFormatFlagIsNonInterleaved));
    EXPECT_EQ(f.mBitsPerChannel, 16u);
    EXPECT_EQ(f.mChannelsPerFrame, 1u);
    EXPECT_EQ(f.mBytesPerFrame, 2u);
}

TEST_F(Taps, RefusedTaps) {
    auto unknownProcess = mixdown({process(0), 4242});
    tapOf(unknownProcess, kAudioHardwareBadObjectError);
    auto unknownDevice = deviceStream({process(0)}, "gone", 0);
    tapOf(unknownDevice, kAudioHardwareBadDeviceError);
    auto noSuchStream = deviceStream({process(0)}, "studio", 2);
    tapOf(noSuchStream, kAudioHardwareIllegalOperationError);
    // A tap of bundle identifiers nobody carries yet is fine.
    auto waiting = mixdown({});
    waiting.bundleIDs = {"com.example.later"};
    EXPECT_NE(tapOf(waiting), 0u);
    EXPECT_EQ(read<AudioStreamBasicDescription>(4242, at(code("tfmt"))).first, kAudioHardwareBadObjectError);
}

TEST_F(Taps, TheCreateCallIsLoggedWithTheDescription) {
    auto d = deviceStream({process(0), process(1)}, "studio", 1);
    d.name = "Sorvane";
    d.isPrivate = true;
    const AudioObjectID tap = tapOf(d);
    const auto lines = calls("AudioHardwareCreateProcessTap");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["created"], tap);
    EXPECT_EQ(lines[0]["uuid"], d.uuid);
    EXPECT_EQ(lines[0]["description"]["processes"], (nlohmann::json{process(0), process(1)}));
    EXPECT_EQ(lines[0]["description"]["deviceUID"], "studio");
    EXPECT_EQ(lines[0]["description"]["stream"], 1);
    EXPECT_EQ(lines[0]["description"]["name"], "Sorvane");
    EXPECT_EQ(lines[0]["description"]["private"], true);
    EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), 0);
    EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), kAudioHardwareBadObjectError);
}

// Dictionaries as a program might build them, right or wrong.
struct Entries {
    std::vector<std::pair<std::string, CFTypeRef>> members;

    CFDictionaryRef make() const {
        namespace cf = sim::cf;
        std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
        std::vector<CFTypeRef> keys;
        for (const auto& [key, value] : members) {
            keys.push_back(cf::makeString(key));
            entries.emplace_back(keys.back(), value);
        }
        const CFDictionaryRef made = cf::makeDictionary(entries);
        for (CFTypeRef key : keys) cf::release(key);
        return made;
    }
};

class Aggregates : public Taps {
protected:
    void SetUp() override {
        Taps::SetUp();
        tapDescription = mixdown({process(0)});
        tap = tapOf(tapDescription);
    }
    void TearDown() override {
        for (CFTypeRef ref : held) sim::cf::release(ref);
        Taps::TearDown();
    }

    CFTypeRef text(const std::string& value) { return keep(sim::cf::makeString(value)); }
    CFTypeRef keep(CFTypeRef ref) {
        held.push_back(ref);
        return ref;
    }
    CFTypeRef tapList(const std::string& uuid) {
        return keep(sim::cf::makeArray({keep(Entries{{{"uid", text(uuid)}}}.make())}));
    }
    Entries good() {
        return Entries{{{"name", text("Sorvane tap")},
                        {"uid", text("agg-1")},
                        {"private", sim::cf::boolean(true)},
                        {"stacked", sim::cf::boolean(false)},
                        {"tapautostart", sim::cf::boolean(true)},
                        {"taps", tapList(tapDescription.uuid)}}};
    }

    CATapDescription tapDescription;
    AudioObjectID tap = 0;
    std::vector<CFTypeRef> held;
};

TEST_F(Aggregates, TheDescriptionOfTheTapToolIsAccepted) {
    const CFDictionaryRef description =
        apple::aggregateDescription("Sorvane tap", "2F1C4A52-0D0B-4C51-9A64-8A7E2B7D9E11", tapDescription.uuid);
    AudioObjectID made = 0;
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &made), 0);
    CFRelease(description);
    EXPECT_NE(made, 0u);
    EXPECT_EQ(readText(made, code("uid ")).second, "2F1C4A52-0D0B-4C51-9A64-8A7E2B7D9E11");
    const auto lines = calls("AudioHardwareCreateAggregateDevice");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["created"], made);
    EXPECT_EQ(lines[0]["uid"], "2F1C4A52-0D0B-4C51-9A64-8A7E2B7D9E11");
    EXPECT_EQ(lines[0]["private"], true);
    EXPECT_EQ(lines[0]["stacked"], false);
    EXPECT_EQ(lines[0]["tapautostart"], true);
    EXPECT_EQ(lines[0]["taps"], nlohmann::json::array({tapDescription.uuid}));
    EXPECT_EQ(AudioHardwareDestroyAggregateDevice(made), 0);
    EXPECT_EQ(AudioHardwareDestroyAggregateDevice(made), kAudioHardwareBadDeviceError);
}

TEST_F(Aggregates, ReleasingTheDescriptionReleasesEverythingInIt) {
    const long before = sim::stringsAlive();
    const CFDictionaryRef description = apple::aggregateDescription("Sorvane tap", "agg-2", tapDescription.uuid);
    EXPECT_GT(sim::stringsAlive(), before);
    CFRelease(description);
    EXPECT_EQ(sim::stringsAlive(), before);
    EXPECT_EQ(sim::overReleases(), 0);
}

TEST_F(Aggregates, DescriptionsThatAreRefused) {
    struct Case {
        const char* what;
        std::function<void(Entries&)> change;
    };
    const std::vector<Case> cases = {
        {"a key missing", [](Entries& e) { e.members.pop_back(); }},
        {"a seventh key", [this](Entries& e) { e.members.emplace_back("master", text("x")); }},
        {"a key twice", [this](Entries& e) { e.members[0] = {"uid", text("again")}; }},
        {"private as text", [this](Entries& e) { e.members[2].second = text("yes"); }},
        {"name as a Boolean", [](Entries& e) { e.members[0].second = sim::cf::boolean(true); }},
        {"taps as one dictionary", [this](Entries& e) {
             e.members[5].second = keep(Entries{{{"uid", text(tapDescription.uuid)}}}.make());
         }},
        {"no taps", [this](Entries& e) { e.members[5].second = keep(sim::cf::makeArray({})); }},
        {"a tap nobody made", [this](Entries& e) { e.members[5].second = tapList("00000000-0000-0000-0000-000000000000"); }},
        {"a tap entry with another key", [this](Entries& e) {
             e.members[5].second = keep(sim::cf::makeArray(
                 {keep(Entries{{{"uid", text(tapDescription.uuid)}, {"drift", sim::cf::boolean(true)}}}.make())}));
         }},
        {"the UID of a device", [this](Entries& e) { e.members[1].second = text("spk"); }},
    };
    for (const Case& c : cases) {
        Entries entries = good();
        c.change(entries);
        const CFDictionaryRef description = entries.make();
        AudioObjectID made = 0;
        EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &made), kAudioHardwareIllegalOperationError) << c.what;
        EXPECT_EQ(made, 0u) << c.what;
        sim::cf::release(description);
    }
    // The right one still goes through, and the same UID a second time does not.
    const CFDictionaryRef description = good().make();
    AudioObjectID made = 0;
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &made), 0);
    EXPECT_EQ(AudioHardwareCreateAggregateDevice(description, &made), kAudioHardwareIllegalOperationError);
    sim::cf::release(description);
}

TEST_F(Taps, EachStepAnswersItsFault) {
    for (const char* step : {"create", "aggregate", "ioproc", "start"}) {
        auto description = studio();
        description["tap"] = {{"faults", {{step, 1852797029}}}};
        use(description);
        auto d = mixdown({process(0)});
        AudioObjectID tap = 0;
        OSStatus status = AudioHardwareCreateProcessTap(&d, &tap);
        if (std::string(step) == "create") {
            EXPECT_EQ(status, 1852797029);
            continue;
        }
        ASSERT_EQ(status, 0);
        const CFDictionaryRef aggregate = apple::aggregateDescription("Sorvane tap", "agg", d.uuid);
        AudioObjectID device = 0;
        status = AudioHardwareCreateAggregateDevice(aggregate, &device);
        CFRelease(aggregate);
        if (std::string(step) == "aggregate") {
            EXPECT_EQ(status, 1852797029);
            continue;
        }
        ASSERT_EQ(status, 0);
        AudioDeviceIOProcID id = nullptr;
        auto proc = [](AudioObjectID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                       AudioBufferList*, const AudioTimeStamp*, void*) -> OSStatus { return 0; };
        status = AudioDeviceCreateIOProcID(device, proc, nullptr, &id);
        if (std::string(step) == "ioproc") {
            EXPECT_EQ(status, 1852797029);
            continue;
        }
        ASSERT_EQ(status, 0);
        EXPECT_EQ(AudioDeviceStart(device, id), 1852797029);
    }
}

}  // namespace
}  // namespace platform_test
