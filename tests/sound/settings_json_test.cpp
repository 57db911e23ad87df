// The settings record's JSON form: exact text written, strict reading, and what survives a round trip.
#include "sound/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using sound::Settings;
using sound::Side;

Side fullSide() {
    Side side;
    side.uid = "dev-1";
    side.name = "Studio";
    side.rate = 48000;
    side.layout = "AAAAAA==";
    side.volume = sound::VolumeMap{{"1", 0.5}, {"0", 1}};
    return side;
}

Side uidOnly(const std::string& uid) {
    Side side;
    side.uid = uid;
    return side;
}

TEST(SettingsWrite, EmptyRecordAndUidOnlySide) {
    EXPECT_EQ(sound::encode(Settings{}), "{}");
    Settings settings;
    settings.input = uidOnly("mic");
    EXPECT_EQ(sound::encode(settings), R"({"input":{"uid":"mic"}})");
}

TEST(SettingsWrite, KeysSortedAtEveryLevel) {
    Settings settings;
    settings.output = fullSide();
    settings.input = uidOnly("mic");
    settings.others = std::vector<Side>{fullSide(), uidOnly("x")};
    const std::string side = R"({"layout":"AAAAAA==","name":"Studio","rate":48000,"uid":"dev-1","volume":{"0":1,"1":0.5}})";
    EXPECT_EQ(sound::encode(settings),
              R"({"input":{"uid":"mic"},"others":[)" + side + R"(,{"uid":"x"}],"output":)" + side + "}");
}

TEST(SettingsWrite, EmptyVolumeMapAndEmptyOthersAreWrittenAbsentOnesAreNot) {
    Settings settings;
    settings.output = uidOnly("a");
    settings.output->volume = sound::VolumeMap{};
    settings.others = std::vector<Side>{};
    EXPECT_EQ(sound::encode(settings), R"({"others":[],"output":{"uid":"a","volume":{}}})");
}

TEST(SettingsWrite, NumbersInShortestForm) {
    struct Case {
        double rate;
        const char* text;
    };
    const Case cases[] = {
        {48000, "48000"},
        {48000.5, "48000.5"},
        {0.1, "0.1"},
        {static_cast<double>(0.7f), "0.699999988079071"},
        {0, "0"},
        {-2, "-2"},
    };
    for (const auto& c : cases) {
        Settings settings;
        settings.output = uidOnly("a");
        settings.output->rate = c.rate;
        EXPECT_EQ(sound::encode(settings), std::string(R"({"output":{"rate":)") + c.text + R"(,"uid":"a"}})")
            << c.text;
        // And it reads back to the very same 64-bit value.
        auto back = sound::decode(*sound::encode(settings));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->output->rate, c.rate);
    }
}

TEST(SettingsWrite, NonFiniteNumbersFailTheWholeEncoding) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (double value : bad) {
        Settings rate;
        rate.output = uidOnly("a");
        rate.output->rate = value;
        EXPECT_FALSE(sound::encode(rate));
        EXPECT_TRUE(sound::encoded(rate).empty());

        Settings volume;
        volume.input = uidOnly("b");
        volume.others = std::vector<Side>{uidOnly("c")};
        volume.others->front().volume = sound::VolumeMap{{"0", value}};
        EXPECT_FALSE(sound::encode(volume));
        EXPECT_TRUE(sound::encoded(volume).empty());
    }
}

TEST(SettingsWrite, TextEscapedWithSolidusNonAsciiRaw) {
    Settings settings;
    settings.output = uidOnly("a/b");
    settings.output->name = "In/Out \"Pro\" \\ \x01\n\tZürich 音";
    EXPECT_EQ(sound::encode(settings),
              R"({"output":{"name":"In\/Out \"Pro\" \\ \u0001\n\tZürich 音","uid":"a\/b"}})");
    EXPECT_EQ(sound::decode(*sound::encode(settings)), settings);
}

TEST(SettingsWrite, EncodedIsTheRecordAsAnObject) {
    Settings settings;
    settings.output = fullSide();
    EXPECT_EQ(json::write(json::Value(sound::encoded(settings))), sound::encode(settings));
    EXPECT_TRUE(sound::encoded(Settings{}).empty());
}

TEST(SettingsRead, FullRecordRoundTrips) {
    Settings settings;
    settings.output = fullSide();
    settings.input = uidOnly("mic");
    settings.input->rate = 44100;
    settings.others = std::vector<Side>{fullSide()};
    EXPECT_EQ(sound::decode(*sound::encode(settings)), settings);
    EXPECT_EQ(sound::decode("{}"), Settings{});
}

TEST(SettingsRead, NullAndMissingMembersMeanAbsent) {
    auto settings = sound::decode(
        R"({"output":null,"others":null,"input":{"uid":"mic","name":null,"rate":null,"layout":null,"volume":null}})");
    ASSERT_TRUE(settings);
    EXPECT_FALSE(settings->output);
    EXPECT_FALSE(settings->others);
    ASSERT_TRUE(settings->input);
    EXPECT_EQ(*settings->input, uidOnly("mic"));
}

TEST(SettingsRead, NumbersWithAndWithoutFraction) {
    auto settings = sound::decode(R"({"output":{"uid":"a","rate":48000,"volume":{"0":1,"1":0.25,"2":5e-1}}})");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->output->rate, 48000.0);
    EXPECT_EQ(settings->output->volume, (sound::VolumeMap{{"0", 1.0}, {"1", 0.25}, {"2", 0.5}}));
}

TEST(SettingsRead, UnknownMembersIgnoredAndDroppedOnWriteBack) {
    auto settings = sound::decode(
        R"({"extra":[1,{"x":null}],"output":{"uid":"a","colour":"red","volume":{"1":0.5}},)"
        R"("others":[{"uid":"o","deep":{"a":1}}]})");
    ASSERT_TRUE(settings);
    EXPECT_EQ(sound::encode(*settings), R"({"others":[{"uid":"o"}],"output":{"uid":"a","volume":{"1":0.5}}})");
}

TEST(SettingsRead, AnyViolationMakesTheWholeTextUnreadable) {
    const char* bad[] = {
        "",
        "not json",
        "[]",
        "null",
        "\"{}\"",
        "{} {}",
        R"({"output":{"uid":"a"})",
        R"({"output":{"name":"no uid"},"input":{"uid":"fine"}})",
        R"({"output":{"uid":null}})",
        R"({"output":{"uid":7}})",
        R"({"output":{"uid":"a","rate":"48000"},"input":{"uid":"fine"}})",
        R"({"output":{"uid":"a","rate":true}})",
        R"({"output":{"uid":"a","name":5}})",
        R"({"output":{"uid":"a","layout":[]}})",
        R"({"output":{"uid":"a","volume":[0.5]}})",
        R"({"output":{"uid":"a","volume":{"0":"0.5"}}})",
        R"({"output":{"uid":"a","volume":{"0":null}}})",
        R"({"output":"a"})",
        R"({"input":[]})",
        R"({"others":{"uid":"a"}})",
        R"({"others":[{"uid":"a"},{"name":"no uid"}]})",
        R"({"others":[null]})",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(sound::decode(text)) << text;
    }
}

TEST(Direction, TextFormsBothWays) {
    EXPECT_EQ(sound::text(sound::Direction::output), "output");
    EXPECT_EQ(sound::text(sound::Direction::input), "input");
    EXPECT_EQ(sound::direction("output"), sound::Direction::output);
    EXPECT_EQ(sound::direction("input"), sound::Direction::input);
    for (const char* other : {"Output", "INPUT", "", "output ", "in"}) {
        EXPECT_FALSE(sound::direction(other)) << other;
    }
}

}  // namespace
