// Reading outside JSON text: nesting is bounded, so hostile text cannot exhaust the stack (the
// settings line of a hundred thousand brackets is run end to end by the save tests).
#include "shared/json.h"
#include "shared/json_read.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string nestedArrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string nestedObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "{\"a\":";
    return text + "1" + std::string(depth, '}');
}

TEST(JsonRead, NestingUpTo512ReadsDeeperIsUnreadable) {
    for (const std::string& text : {nestedArrays(512), nestedObjects(512)}) {
        auto value = json::read(text);
        EXPECT_EQ(value ? json::write(*value) : "", text);
    }
    for (const std::string& text : {nestedArrays(513), nestedObjects(513), "{\"x\":[" + nestedObjects(600) + "],\"y\":2}",
                                    std::string(100000, '[')}) {
        EXPECT_FALSE(json::read(text)) << text.substr(0, 20);
    }
}

}  // namespace
