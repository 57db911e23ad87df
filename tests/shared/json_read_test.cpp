// Reading outside JSON text: nesting is bounded, so hostile text cannot exhaust the stack.
#include "shared/json.h"
#include "shared/json_read.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string nestedArrays(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

std::string nestedObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += "{\"a\":";
    }
    text += "1";
    text += std::string(depth, '}');
    return text;
}

TEST(JsonRead, NestingUpTo512Reads) {
    auto arrays = json::read(nestedArrays(512));
    ASSERT_TRUE(arrays.has_value());
    EXPECT_EQ(json::write(*arrays), nestedArrays(512));
    auto objects = json::read(nestedObjects(512));
    ASSERT_TRUE(objects.has_value());
    EXPECT_EQ(json::write(*objects), nestedObjects(512));
}

TEST(JsonRead, DeeperNestingIsUnreadable) {
    EXPECT_FALSE(json::read(nestedArrays(513)));
    EXPECT_FALSE(json::read(nestedObjects(513)));
    EXPECT_FALSE(json::read("{\"x\":[" + nestedObjects(600) + "],\"y\":2}"));
}

// A line of a hundred thousand brackets once overflowed the stack while the parsed value was
// converted.
TEST(JsonRead, AHundredThousandBracketsAreUnreadableNotACrash) {
    EXPECT_FALSE(json::read("{\"x\":" + nestedArrays(100000) + "}"));
    EXPECT_FALSE(json::read(std::string(100000, '[')));
}

}  // namespace
