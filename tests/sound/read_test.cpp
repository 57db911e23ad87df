// "--read" end to end: the real program against machine files, the report line exactly as written.
#include "harness/harness.h"
#include "tests/sound/support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

const json speakers = {{"uid", "spk"},        {"name", "Speakers"},       {"rate", 48000}, {"output", {2}},
                       {"volume", {{"0", 0.7}}}, {"layout", "AgBlAAAAAAAAAAAA"}};
// An input device with a layout and volume controls of its own, which an input side never carries.
const json microphone = {{"uid", "mic"}, {"name", "Mic/Line"}, {"rate", 44100},
                         {"input", {1}}, {"output", {2}},      {"volume", {{"0", 1}}},
                         {"layout", "AgBlAAAAAAAAAAAA"}};

harness::Result readSettings(const harness::Machine& machine, const std::vector<std::string>& args = {"--read"}) {
    return sound_test::runSound(machine, args);
}

TEST(Read, BothDefaultsWithTheirSettings) {
    harness::Machine machine(json{{"devices", {speakers, microphone}}, {"defaultOutput", "spk"}, {"defaultInput", "mic"}});
    auto result = readSettings(machine);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    // 0.7 is kept by the machine as a 32-bit float and widened exactly.
    EXPECT_EQ(result.out,
              R"({"settings":{"input":{"name":"Mic\/Line","rate":44100,"uid":"mic"},)"
              R"("output":{"layout":"AgBlAAAAAAAAAAAA","name":"Speakers","rate":48000,"uid":"spk",)"
              R"("volume":{"0":0.699999988079071}}},"type":"settings"})"
              "\n");
    EXPECT_TRUE(sound_test::stringsBalanced(machine));
}

TEST(Read, MissingRolesAndUnreadableValues) {
    json bare = {{"uid", "bare"}, {"output", {2}}, {"faults", {{"nsrt", -50}, {"lnam", "null"}, {"volm", "absent"}}}};
    struct Case {
        const char* what;
        json machine;
        std::string settings;
    };
    const Case cases[] = {
        {"no defaults at all", {{"devices", {speakers, microphone}}}, "{}"},
        {"no default input",
         {{"devices", {speakers}}, {"defaultOutput", "spk"}},
         R"({"output":{"layout":"AgBlAAAAAAAAAAAA","name":"Speakers","rate":48000,"uid":"spk","volume":{"0":0.699999988079071}}})"},
        {"no default output",
         {{"devices", {microphone}}, {"defaultInput", "mic"}},
         R"({"input":{"name":"Mic\/Line","rate":44100,"uid":"mic"}})"},
        {"default output's UID unreadable",
         {{"devices", {json{{"uid", "x"}, {"output", {2}}, {"faults", {{"uid ", "null"}}}}}}, {"defaultOutput", "x"}},
         "{}"},
        {"default read fails", {{"devices", {speakers}}, {"defaultOutput", "spk"}, {"faults", {{"dOut", -50}}}}, "{}"},
        {"nameless, rate unreadable, no volume: an empty volume map",
         {{"devices", {bare}}, {"defaultOutput", "bare"}},
         R"({"output":{"uid":"bare","volume":{}}})"},
    };
    for (const auto& c : cases) {
        harness::Machine machine(c.machine);
        auto result = readSettings(machine);
        EXPECT_EQ(result.status, 0) << c.what;
        EXPECT_EQ(result.out, R"({"settings":)" + c.settings + R"(,"type":"settings"})" + "\n") << c.what;
        EXPECT_TRUE(sound_test::stringsBalanced(machine)) << c.what;
    }
}

}  // namespace
