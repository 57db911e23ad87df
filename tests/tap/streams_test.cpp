// Where a device channel pair lies among the output streams, past the layouts met end to end.
#include "tap/streams.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Kind = tap::PairPlace::Kind;

TEST(LocatePair, Table) {
    struct Case {
        std::vector<std::uint32_t> counts;
        std::int64_t master;
        Kind kind;
        unsigned long stream = 0;
        std::int64_t first = 0;
    };
    const std::vector<Case> cases = {
        {{2, 2}, 3, Kind::found, 1, 0},    {{8}, 7, Kind::found, 0, 6}, {{2, 8}, 9, Kind::found, 1, 6},
        {{3, 3}, 4, Kind::found, 1, 0},    {{2, 2}, 2, Kind::split},    {{1, 1}, 1, Kind::split},
        {{3, 3}, 3, Kind::split},          {{8}, 8, Kind::missing},     {{1}, 1, Kind::missing},
        {{}, 1, Kind::missing},            {{8}, 0, Kind::missing},     {{8}, -1, Kind::missing},
        {{2, 0, 2}, 3, Kind::found, 2, 0}, {{0, 2}, 1, Kind::found, 1, 0},  // unreadable streams count 0
        {{8}, std::numeric_limits<std::int64_t>::max(), Kind::missing},    // no overflow, here or below
        {{0xFFFFFFFF, 0xFFFFFFFF}, 4294967296LL, Kind::found, 1, 0},
    };
    for (const Case& c : cases) {
        auto place = tap::locatePair(c.counts, c.master);
        std::string label = std::to_string(c.master) + " over " + std::to_string(c.counts.size()) + " streams";
        EXPECT_EQ(place.kind, c.kind) << label;
        EXPECT_TRUE(c.kind != Kind::found || (place.stream == c.stream && place.first == c.first)) << label;
    }
}

}  // namespace
