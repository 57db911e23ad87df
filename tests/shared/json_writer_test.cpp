#include "shared/json.h"
#include "shared/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::string text(const json::Value& v) { return json::write(v).value_or("<none>"); }

TEST(JsonWriter, EscapesSolidusQuotesAndControlsButNotNonAscii) {
    EXPECT_EQ(text("In/Out"), R"("In\/Out")");
    EXPECT_EQ(text("say \"hi\"\\"), R"("say \"hi\"\\")");
    EXPECT_EQ(text(std::string("a\nb\tc\x01\x1f", 7)), R"("a\nb\tc\u0001\u001f")");
    EXPECT_EQ(text("Café – 東京"), "\"Café – 東京\"");
    // Each broken or cut sequence, a stray byte, an overlong form and a surrogate's bytes: U+FFFD.
    EXPECT_EQ(text("a\xff" "b\xe2\x82" "c\xed\xa0\x80" "d\xc0\xaf" "e\xf0\x9f\x8e"),
              "\"a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD\uFFFDe\uFFFD\"");
}

TEST(JsonWriter, SortsKeysAtEveryLevelAndIsCompact) {
    json::Object inner{{"z", 1}, {"a", json::Array{true, false, nullptr}}};
    json::Object outer{{"type", "error"}, {"message", "m"}, {"nested", inner}};
    EXPECT_EQ(text(outer), R"({"message":"m","nested":{"a":[true,false,null],"z":1},"type":"error"})");
}

TEST(JsonWriter, WholeFloatsHaveNoFractionOthersRoundTripNonFiniteWritesNothing) {
    const std::pair<double, const char*> cases[] = {{48000.0, "48000"}, {48000.5, "48000.5"}, {0.1, "0.1"},
        {0.0, "0"}, {-3.0, "-3"}, {static_cast<double>(0.7f), "0.699999988079071"}};
    for (const auto& [value, written] : cases) EXPECT_EQ(text(value), written);
    EXPECT_EQ(std::stod(text(1e300)), 1e300);
    EXPECT_FALSE(json::write(std::nan("")));
    json::Object deep{{"a", json::Array{1, json::Object{{"b", -std::numeric_limits<double>::infinity()}}}}};
    EXPECT_FALSE(json::write(deep));
}

TEST(Numbers, ParseIntegerSignsAndLimits) {
    EXPECT_EQ(numbers::parseInteger("+2", 0, 100), 2);
    EXPECT_EQ(numbers::parseInteger("-0", 0, 100), 0);
    EXPECT_EQ(numbers::parseInteger("-9223372036854775808", INT64_MIN, INT64_MAX), INT64_MIN);
    EXPECT_EQ(numbers::parseInteger("2147483647", INT32_MIN, INT32_MAX), 2147483647);
    for (const char* bad : {"", "+", "-", "-1", "2.0", " 2", "2 ", "0x10", "99999999999999999999", "2147483648"}) {
        EXPECT_FALSE(numbers::parseInteger(bad, 0, INT32_MAX)) << bad;
    }
}

TEST(Numbers, ShortestHasAFractionForWholeNumbers) {
    const std::pair<double, const char*> cases[] = {
        {4000, "4000.0"}, {900000, "900000.0"}, {7999.5, "7999.5"}, {0.1, "0.1"}, {1e20, "1e+20"}, {std::nan(""), "nan"}};
    for (const auto& [value, written] : cases) EXPECT_EQ(numbers::shortest(value), written);
}

}  // namespace
