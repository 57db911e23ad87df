// The pure parts of sorvane-sound: the settings record's JSON form, strict base64 for layouts, and
// the rate as the report sentences word it, huge or not a number.
#include "base64.h"
#include "sound/apply.h"
#include "sound/settings.h"
#include "sound/unsettled.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(Settings, ReadAndWrittenBack) {
    // The text, and the record's text written back: keys sorted, absent members left out.
    const std::pair<const char*, const char*> readable[] = {
        {"{}", "{}"},
        {R"({"output":{"volume":{"1":0.5,"0":1},"uid":"d","rate":48000,"name":"S","layout":"AAAAAA=="},)"
         R"("others":[{"uid":"x"},{"uid":"o","rate":0.699999988079071}],"input":{"uid":"mic"}})",
         R"({"input":{"uid":"mic"},"others":[{"uid":"x"},{"rate":0.699999988079071,"uid":"o"}],)"
         R"("output":{"layout":"AAAAAA==","name":"S","rate":48000,"uid":"d","volume":{"0":1,"1":0.5}}})"},
        {R"({"others":[],"output":{"uid":"a","volume":{}}})", R"({"others":[],"output":{"uid":"a","volume":{}}})"},
        {R"({"output":null,"others":null,"input":{"uid":"m","name":null,"rate":null,"layout":null,"volume":null}})",
         R"({"input":{"uid":"m"}})"},
        {R"({"output":{"uid":"a","rate":48000.0,"volume":{"2":5e-1,"3":-0}}})",
         R"({"output":{"rate":48000,"uid":"a","volume":{"2":0.5,"3":0}}})"},
        {R"({"extra":[1,{"x":null}],"output":{"uid":"a","colour":"red"},"others":[{"uid":"o","deep":{"a":1}}]})",
         R"({"others":[{"uid":"o"}],"output":{"uid":"a"}})"},
        {R"({"output":{"uid":"a/b","name":"In\/Out \"Pro\" \\ \u0001\n\tZürich 音"}})",
         R"({"output":{"name":"In\/Out \"Pro\" \\ \u0001\n\tZürich 音","uid":"a\/b"}})"},
    };
    for (const auto& [text, written] : readable) {
        auto settings = sound::decode(text);
        EXPECT_EQ(settings ? sound::encode(*settings) : std::nullopt, written) << text;
    }
    // Any violation makes the whole text unreadable.
    for (const char* text :
         {"", "not json", "[]", "null", "\"{}\"", "{} {}", R"({"output":{"uid":"a"})", R"({"output":"a"})",
          R"({"input":[]})", R"({"output":{"uid":null}})", R"({"output":{"uid":7}})", R"({"others":{"uid":"a"}})",
          R"({"output":{"name":"no uid"},"input":{"uid":"fine"}})", R"({"output":{"uid":"a","rate":true}})",
          R"({"output":{"uid":"a","rate":"48000"},"input":{"uid":"b"}})", R"({"output":{"uid":"a","name":5}})",
          R"({"output":{"uid":"a","layout":[]}})", R"({"output":{"uid":"a","volume":[0.5]}})",
          R"({"output":{"uid":"a","volume":{"0":"0.5"}}})", R"({"output":{"uid":"a","volume":{"0":null}}})",
          R"({"others":[{"uid":"a"},{"name":"no uid"}]})", R"({"others":[null]})"}) {
        EXPECT_FALSE(sound::decode(text)) << text;
    }
}

static std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Canonical text both ways, unused trailing bits tolerated as the platform's decoder does; anything
// else refused.
TEST(Base64, BothWaysAndStrict) {
    const std::pair<const char*, const char*> vectors[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, text] : vectors) {
        EXPECT_EQ(base64::encode(bytes(plain)), text);
        EXPECT_EQ(base64::decode(text), bytes(plain)) << text;
    }
    EXPECT_EQ(base64::decode("Zh=="), bytes("f"));
    EXPECT_EQ(base64::decode("Zm9="), bytes("fo"));
    for (const char* bad : {"Zg", "Zg=", "Zm9v\n", " Zm9v", "Zm9 v", "Zm9v Zg==", "Zg==Zm9v", "=Zg=", "Zm=v", "Z===",
                            "====", "Zm9-", "Zm9_", "Zm9v\x80\x80\x80\x80"}) {
        EXPECT_FALSE(base64::decode(bad)) << bad;
    }
}

TEST(RateText, WholeNumberPartFractionCut) {
    const std::pair<double, const char*> cases[] = {{44100.999999, "44100 Hz"}, {-12.9, "-12 Hz"},
        {9223372036854775808.0, "9223372036854775808 Hz"}, {std::nan(""), "a rate that isn't a number"},
        {-std::numeric_limits<double>::infinity(), "a rate that isn't a number"}};
    for (const auto& [rate, text] : cases) EXPECT_EQ(sound::rateText(rate), text) << rate;
    EXPECT_EQ(sound::rateText(std::numeric_limits<double>::max()).size(), 309u + 3u);  // every digit written
}

// The snapshot's note of changes that may still land: beside the record, which reads as before, and
// read back; anything else in its place is no note.
TEST(Unsettled, NotedBesideTheRecordAndReadBack) {
    const sound::Unsettled unsettled{{sound::Direction::input, sound::Direction::output}, {"b", "a"}};
    const char* record = R"({"output":{"uid":"a"}})";
    auto text = sound::withUnsettled(record, unsettled);
    EXPECT_EQ(text, R"({"output":{"uid":"a"},"unsettled":{"defaults":["output","input"],"rates":["a","b"]}})");
    EXPECT_EQ(sound::unsettledIn(text.value_or("")), unsettled);
    EXPECT_EQ(sound::decode(text.value_or("")), sound::decode(record));
    for (const char* odd : {"{}", "[]", "not json", R"({"unsettled":5})", R"({"unsettled":{"defaults":"output","rates":[1,null]}})"}) {
        EXPECT_TRUE(sound::unsettledIn(odd).empty()) << odd;
    }
    EXPECT_EQ(sound::unsettledIn(R"({"unsettled":{"defaults":["input","Output",3]}})").defaults,
              std::set<sound::Direction>{sound::Direction::input});
}
