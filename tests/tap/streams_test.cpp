// Where a device channel pair lies among the output streams.
#include "tap/streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

using Kind = tap::PairPlace::Kind;

struct Case {
    std::vector<std::uint32_t> counts;
    std::int64_t master;
    Kind kind;
    unsigned long stream = 0;
    std::int64_t first = 0;
};

TEST(LocatePair, Table) {
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const std::vector<Case> cases = {
        {{2, 2}, 1, Kind::found, 0, 0},
        {{2, 2}, 3, Kind::found, 1, 0},
        {{2, 2}, 2, Kind::split},
        {{2, 2}, 4, Kind::missing},
        {{8}, 7, Kind::found, 0, 6},
        {{8}, 1, Kind::found, 0, 0},
        {{8}, 8, Kind::missing},
        {{2, 8}, 5, Kind::found, 1, 2},
        {{2, 8}, 9, Kind::found, 1, 6},
        {{2, 8}, 10, Kind::missing},
        {{}, 1, Kind::missing},
        {{1}, 1, Kind::missing},
        {{1, 1}, 1, Kind::split},
        // An unreadable stream counts 0 channels and is walked over.
        {{2, 0, 2}, 3, Kind::found, 2, 0},
        {{0, 2}, 1, Kind::found, 1, 0},
        {{3, 3}, 3, Kind::split},
        {{3, 3}, 4, Kind::found, 1, 0},
        // No overflow for the largest master.
        {{8}, huge, Kind::missing},
        {{std::numeric_limits<std::uint32_t>::max(), std::numeric_limits<std::uint32_t>::max()}, 4294967296LL,
         Kind::found, 1, 0},
    };
    for (const Case& c : cases) {
        auto place = tap::locatePair(c.counts, c.master);
        std::string label = "master " + std::to_string(c.master) + " over " + std::to_string(c.counts.size()) + " streams";
        ASSERT_EQ(place.kind, c.kind) << label;
        if (c.kind == Kind::found) {
            EXPECT_EQ(place.stream, c.stream) << label;
            EXPECT_EQ(place.first, c.first) << label;
        }
    }
}

}  // namespace
