// Trimming the host's lines: spaces, tabs and the Unicode space separators, nothing else.
#include "sound/lines.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(Lines, TrimSpaces) {
    struct Case {
        const char* text;
        const char* trimmed;
    };
    const Case cases[] = {
        {"restore", "restore"},
        {" \t restore \t ", "restore"},
        {"\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005restore\u2006\u2007\u2008\u2009\u200A\u202F\u205F\u3000",
         "restore"},
        {"re store", "re store"},
        {"   ", ""},
        {"", ""},
        // Line breaks and characters that only look empty are not space separators.
        {"\vrestore", "\vrestore"},
        {"restore\f", "restore\f"},
        {"\u200Brestore", "\u200Brestore"},
        {"restore\u2028", "restore\u2028"},
        {"restore\xC2", "restore\xC2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sound::trimSpaces(c.text), c.trimmed) << c.text;
    }
}

TEST(Lines, ReadLineStopsAtTheLineFeed) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string input = "first\r\nsecond\n" + std::string(40, 'x') + "\nlast";
    ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    auto first = sound::readLine(fds[0], 32);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, "first");
    EXPECT_EQ(sound::readLine(fds[0], 32)->text, "second");
    auto tooLong = sound::readLine(fds[0], 32);
    ASSERT_TRUE(tooLong);
    EXPECT_TRUE(tooLong->tooLong);
    auto last = sound::readLine(fds[0], 32);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->text, "last");
    EXPECT_FALSE(last->tooLong);
    EXPECT_FALSE(sound::readLine(fds[0], 32));
    close(fds[0]);
}

}  // namespace
