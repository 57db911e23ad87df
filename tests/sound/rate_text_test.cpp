// The rate as the "applied" and "skipped" sentences word it, also for rates no file can hold.
#include "sound/apply.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(RateText, WholeNumberPartFractionCut) {
    struct Case {
        double rate;
        const char* text;
    };
    const Case cases[] = {
        {48000, "48000 Hz"},
        {48000.7, "48000 Hz"},
        {44100.999999, "44100 Hz"},
        {0.3, "0 Hz"},
        {-0.5, "0 Hz"},
        {-12.9, "-12 Hz"},
        // Beyond the 64-bit integers the whole-number part is still written out exactly.
        {1e20, "100000000000000000000 Hz"},
        {9223372036854775808.0, "9223372036854775808 Hz"},
        {std::numeric_limits<double>::quiet_NaN(), "a rate that isn't a number"},
        {std::numeric_limits<double>::infinity(), "a rate that isn't a number"},
        {-std::numeric_limits<double>::infinity(), "a rate that isn't a number"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sound::rateText(c.rate), c.text) << c.rate;
    }
    EXPECT_EQ(sound::rateText(std::numeric_limits<double>::max()).size(), 309u + 3u);
}

}  // namespace
