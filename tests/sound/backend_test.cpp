// CoreAudioSystem against simulated machines with faults: failure values, no write to what may
// not be written, the volume element rules and the channel count.
#include "sound/backend/core_audio_system.h"

#include "tests/sound/support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using nlohmann::json;
using sound::CoreAudioSystem;
using sound::Direction;
using sound_test::calls;
using sound_test::inChild;
using sound_test::stringsBalanced;

constexpr const char* stereoLayout = "AgBlAAAAAAAAAAAA";
constexpr int what = 0x77686174;

json speakers() {
    return {{"uid", "spk"},      {"name", "Speakers"}, {"rate", 48000},    {"rates", {{44100, 44100}, {48000, 48000}}},
            {"output", {2}},     {"volume", {{"0", 0.5}}}, {"layout", stereoLayout}};
}

json microphone() {
    return {{"uid", "mic"}, {"name", "Microphone"}, {"rate", 44100}, {"input", {1}}};
}

json machineWith(const std::vector<json>& devices, const json& extra = json::object()) {
    json m = {{"devices", devices}, {"defaultOutput", "spk"}, {"defaultInput", "mic"}};
    m.update(extra);
    return m;
}

json optional(const std::optional<std::string>& v) { return v ? json(*v) : json(nullptr); }
json optional(const std::optional<double>& v) { return v ? json(*v) : json(nullptr); }

// Every read of the interface about one device, as one object.
json readAll(const std::string& uid) {
    CoreAudioSystem system;
    return {
        {"defaultOutput", optional(system.defaultUID(Direction::output))},
        {"defaultInput", optional(system.defaultUID(Direction::input))},
        {"name", optional(system.name(uid))},
        {"rate", optional(system.rate(uid))},
        {"layout", optional(system.layout(uid))},
        {"volume", system.volume(uid)},
        {"asOutput", system.exists(uid, Direction::output)},
        {"asInput", system.exists(uid, Direction::input)},
    };
}

// The (selector, element) of every call of that function in the log.
std::vector<std::pair<std::string, long>> addresses(const harness::Machine& machine, const std::string& fn) {
    std::vector<std::pair<std::string, long>> found;
    for (const auto& call : calls(machine, fn)) {
        found.emplace_back(call.value("selector", ""), call.value("element", -1L));
    }
    return found;
}

TEST(BackendRead, EachFaultGivesItsFailureValue) {
    struct Case {
        const char* selector;
        json fault;
        bool onSystem;
        json changes;  // the members of readAll that differ from the healthy device
    };
    const Case cases[] = {
        {"none", nullptr, false, json::object()},
        {"uid ", what, false, {{"defaultOutput", nullptr}}},
        {"uid ", "null", false, {{"defaultOutput", nullptr}}},
        {"uid ", "absent", false, {{"defaultOutput", nullptr}}},
        {"lnam", -50, false, {{"name", nullptr}}},
        {"lnam", "null", false, {{"name", nullptr}}},
        {"lnam", "absent", false, {{"name", nullptr}}},
        {"nsrt", what, false, {{"rate", nullptr}}},
        {"nsrt", "absent", false, {{"rate", nullptr}}},
        {"srnd", -50, false, {{"layout", nullptr}}},
        {"srnd", "absent", false, {{"layout", nullptr}}},
        {"volm", what, false, {{"volume", json::object()}}},
        {"volm", "absent", false, {{"volume", json::object()}}},
        {"slay", what, false, {{"asOutput", false}}},
        {"slay", "absent", false, {{"asOutput", false}}},
        {"dOut", what, true, {{"defaultOutput", nullptr}}},
        {"dOut", "absent", true, {{"defaultOutput", nullptr}}},
        {"dIn ", what, true, {{"defaultInput", nullptr}}},
        {"uidd", what, true,
         {{"name", nullptr}, {"rate", nullptr}, {"layout", nullptr}, {"volume", json::object()}, {"asOutput", false}}},
    };
    for (const auto& c : cases) {
        json device = speakers();
        json extra = json::object();
        if (!c.fault.is_null()) {
            (c.onSystem ? extra["faults"] : device["faults"])[c.selector] = c.fault;
        }
        harness::Machine machine(machineWith({device, microphone()}, extra));
        json expected = {{"defaultOutput", "spk"}, {"defaultInput", "mic"}, {"name", "Speakers"},
                         {"rate", 48000.0},        {"layout", stereoLayout}, {"volume", {{"0", 0.5}}},
                         {"asOutput", true},       {"asInput", false}};
        expected.update(c.changes);
        EXPECT_EQ(inChild(machine, [] { return readAll("spk"); }), expected) << c.selector << " " << c.fault;
        EXPECT_TRUE(stringsBalanced(machine)) << c.selector << " " << c.fault;
    }
}

TEST(BackendRead, AbsentPropertyIsNotRead) {
    json device = speakers();
    device.erase("rate");
    device.erase("volume");
    harness::Machine machine(machineWith({device}));
    json result = inChild(machine, [] { return readAll("spk"); });
    EXPECT_EQ(result["rate"], nullptr);
    EXPECT_EQ(result["volume"], json::object());
    auto asked = addresses(machine, "AudioObjectHasProperty");
    EXPECT_NE(std::find(asked.begin(), asked.end(), std::make_pair(std::string("nsrt"), 0L)), asked.end());
    for (const auto& [selector, element] : addresses(machine, "AudioObjectGetPropertyData")) {
        EXPECT_NE(selector, "nsrt");
        EXPECT_NE(selector, "volm");
    }
}

TEST(BackendRead, NoDefaultDeviceAndUnknownUid) {
    json m = machineWith({speakers()});
    m.erase("defaultOutput");
    m["defaultInput"] = nullptr;
    harness::Machine machine(m);
    json expected = {{"defaultOutput", nullptr}, {"defaultInput", nullptr}, {"name", nullptr},
                     {"rate", nullptr},          {"layout", nullptr},       {"volume", json::object()},
                     {"asOutput", false},        {"asInput", false}};
    // The platform answers an unknown UID with identifier 0 and status 0.
    EXPECT_EQ(inChild(machine, [] { return readAll("no such device"); }), expected);
    auto reads = calls(machine, "AudioObjectGetPropertyData");
    EXPECT_FALSE(reads.empty());
    for (const auto& call : reads) {
        EXPECT_NE(call.value("object", 0), 0) << call;  // nothing is ever asked of object 0
    }
    EXPECT_TRUE(stringsBalanced(machine));
}

TEST(BackendWrite, AcceptedWritesReachTheMachine) {
    json studio = {{"uid", "studio"}, {"output", {2, 8}}, {"input", {2}}, {"rate", 48000},
                   {"rates", {{44100, 44100}, {48000, 96000}}}, {"volume", {{"1", 1}, {"2", 1}}}};
    harness::Machine machine(machineWith({speakers(), microphone(), studio}));
    json result = inChild(machine, [] {
        CoreAudioSystem system;
        std::string layout = system.layout("spk").value_or("");
        return json{
            {"rate", system.setRate("studio", 88200)},
            {"refusedRate", system.setRate("studio", 22050)},
            {"output", system.setDefault(Direction::output, "studio")},
            {"input", system.setDefault(Direction::input, "studio")},
            {"micAsOutput", system.setDefault(Direction::output, "mic")},
            {"volume", system.setVolume("studio", "2", 0.7)},
            {"readBack", system.volume("studio")},
            {"layout", system.setLayout("spk", layout)},
            {"layoutAgain", system.layout("spk").value_or("")},
        };
    });
    EXPECT_EQ(result["rate"], true);
    EXPECT_EQ(result["refusedRate"], false);
    EXPECT_EQ(result["output"], true);
    EXPECT_EQ(result["input"], true);
    EXPECT_EQ(result["micAsOutput"], false);
    EXPECT_EQ(result["volume"], true);
    // Stored as the nearest 32-bit float and read back widened exactly.
    EXPECT_EQ(result["readBack"], (json{{"1", 1.0}, {"2", static_cast<double>(0.7f)}}));
    EXPECT_EQ(result["layout"], true);
    EXPECT_EQ(result["layoutAgain"], stereoLayout);

    json state = machine.state();
    EXPECT_EQ(state["defaultOutput"], "studio");
    EXPECT_EQ(state["defaultInput"], "studio");
    EXPECT_EQ(state["devices"][2]["rate"], 88200.0);
    EXPECT_EQ(state["devices"][0]["layout"], stereoLayout);
    EXPECT_TRUE(stringsBalanced(machine));
}

TEST(BackendWrite, ReadOnlyOrAbsentPropertiesAreNeverWritten) {
    struct Case {
        const char* selector;
        const char* fault;
        bool onSystem;
    };
    const Case cases[] = {
        {"nsrt", "readonly", false}, {"nsrt", "absent", false}, {"srnd", "readonly", false},
        {"srnd", "absent", false},   {"volm", "readonly", false}, {"volm", "absent", false},
        {"dOut", "readonly", true},  {"dOut", "absent", true},    {"uidd", "absent", true},
    };
    for (const auto& c : cases) {
        json device = speakers();
        json extra = json::object();
        (c.onSystem ? extra["faults"] : device["faults"])[c.selector] = c.fault;
        harness::Machine machine(machineWith({device, microphone()}, extra));
        json result = inChild(machine, [] {
            CoreAudioSystem system;
            return json{system.setRate("spk", 44100), system.setLayout("spk", stereoLayout),
                        system.setVolume("spk", "0", 0.25), system.setDefault(Direction::output, "spk")};
        });
        // Only the write on the faulty property fails; without UID translation every one does.
        std::string s = c.selector;
        bool allFail = s == "uidd";
        json expected = {!allFail && s != "nsrt", !allFail && s != "srnd", !allFail && s != "volm",
                         !allFail && s != "dOut"};
        EXPECT_EQ(result, expected) << c.selector << " " << c.fault;
        for (const auto& [selector, element] : addresses(machine, "AudioObjectSetPropertyData")) {
            EXPECT_NE(selector, c.selector) << c.fault;
        }
    }
}

TEST(BackendWrite, UnknownDeviceOrBadLayoutWritesNothing) {
    harness::Machine machine(machineWith({speakers(), microphone()}));
    json result = inChild(machine, [] {
        CoreAudioSystem system;
        return json{
            system.setDefault(Direction::output, "gone"), system.setRate("gone", 48000),
            system.setVolume("gone", "0", 0.5),           system.setLayout("gone", stereoLayout),
            system.setLayout("spk", ""),                  system.setLayout("spk", "AgBlAAAAAAAAAAAA\n"),
            system.setLayout("spk", " AgBlAAAAAAAAAAAA"), system.setLayout("spk", "AgBlAAAAAAAAAAA"),
            system.setLayout("spk", "AgBl*AAAAAAAAAAA"),
        };
    });
    EXPECT_EQ(result, json(std::vector<bool>(9, false)));
    EXPECT_TRUE(calls(machine, "AudioObjectSetPropertyData").empty());
    EXPECT_TRUE(stringsBalanced(machine));
}

TEST(BackendVolume, ElementRules) {
    auto channels = [](int n) {
        json volume = json::object();
        for (int e = 1; e <= n; ++e) {
            volume[std::to_string(e)] = e / 64.0;  // exact in 32 bits
        }
        return volume;
    };
    struct Case {
        const char* what;
        json output;
        json volume;
        json expected;
        long lastElementAsked;
    };
    const Case cases[] = {
        {"main wins over channels", {2}, {{"0", 0.5}, {"1", 0.125}, {"2", 0.25}}, {{"0", 0.5}}, 0},
        {"channels without main", {2}, channels(2), channels(2), 2},
        {"a channel without control is skipped", {2}, {{"2", 0.25}}, {{"2", 0.25}}, 2},
        {"channels of all streams", {2, 2}, channels(4), channels(4), 4},
        {"at most 16 channels", {20}, channels(20), channels(16), 16},
        {"no channels still asks 0 and 1", json::array(), {{"1", 0.375}, {"2", 0.25}}, {{"1", 0.375}}, 1},
        {"nothing readable", {2}, json::object(), json::object(), 2},
    };
    for (const auto& c : cases) {
        json device = {{"uid", "dev"}, {"output", c.output}, {"volume", c.volume}};
        harness::Machine machine(machineWith({device}));
        json result = inChild(machine, [] { return json(CoreAudioSystem().volume("dev")); });
        EXPECT_EQ(result, c.expected) << c.what;
        long last = -1;
        for (const auto& [selector, element] : addresses(machine, "AudioObjectHasProperty")) {
            if (selector == "volm") {
                EXPECT_EQ(element, last + 1) << c.what;  // in order from the main element, none left out
                last = element;
            }
        }
        EXPECT_EQ(last, c.lastElementAsked) << c.what;
    }
}

TEST(BackendVolume, SetVolumeKeyParsing) {
    struct Case {
        const char* key;
        bool accepted;
        long element;
    };
    const Case cases[] = {
        {"2", true, 2},    {"+2", true, 2},     {"-0", true, 0},   {"0", true, 0},     {"17", true, 17},
        {"-1", false, -1}, {"2.0", false, -1},  {" 2", false, -1}, {"2 ", false, -1},  {"", false, -1},
        {"+", false, -1},  {"0x2", false, -1},  {"4294967296", false, -1},              {"18", false, -1},
    };
    for (const auto& c : cases) {
        json device = {{"uid", "dev"}, {"output", {20}}, {"volume", {{"0", 1}, {"2", 1}, {"17", 1}}}};
        harness::Machine machine(machineWith({device}));
        std::string key = c.key;
        json result = inChild(machine, [key] { return json(CoreAudioSystem().setVolume("dev", key, 0.25)); });
        EXPECT_EQ(result, c.accepted) << "key '" << c.key << "'";
        auto writes = addresses(machine, "AudioObjectSetPropertyData");
        if (c.accepted) {
            ASSERT_EQ(writes.size(), 1u) << c.key;
            EXPECT_EQ(writes[0], std::make_pair(std::string("volm"), c.element)) << c.key;
        } else {
            EXPECT_TRUE(writes.empty()) << "key '" << c.key << "'";
        }
    }
}

TEST(BackendChannels, PresenceInARoleNeedsChannels) {
    std::vector<json> devices = {
        {{"uid", "out"}, {"output", {2}}},
        {{"uid", "in"}, {"input", {1}}},
        {{"uid", "both"}, {"output", {2, {{"channels", 2}, {"fault", what}}}}, {"input", {2}}},
        {{"uid", "none"}, {"output", json::array()}},
    };
    harness::Machine machine(machineWith(devices));
    json result = inChild(machine, [] {
        CoreAudioSystem system;
        json r = json::object();
        for (const char* uid : {"out", "in", "both", "none", "gone"}) {
            r[uid] = {system.exists(uid, Direction::output), system.exists(uid, Direction::input)};
        }
        return r;
    });
    json expected = {{"out", {true, false}},   {"in", {false, true}},   {"both", {true, true}},
                     {"none", {false, false}}, {"gone", {false, false}}};
    EXPECT_EQ(result, expected);
    EXPECT_TRUE(stringsBalanced(machine));
}

}  // namespace
