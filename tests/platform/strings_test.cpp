// CoreFoundation strings: text round trips, the copying road, and reference counting that counts
// over-releases instead of touching freed memory.
#include "sim_fixture.h"

namespace platform_test {
namespace {

class Strings : public SimTest {
protected:
    void SetUp() override { use(studio()); }
};

std::optional<std::string> copied(CFStringRef ref) {
    const CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(ref), kCFStringEncodingUTF8) + 1;
    std::string buffer(std::size_t(size), '\0');
    if (!CFStringGetCString(ref, buffer.data(), size, kCFStringEncodingUTF8)) return std::nullopt;
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

TEST_F(Strings, TextRoundTrips) {
    struct Case {
        std::string text;
        CFIndex utf16;
        bool direct;  // CFStringGetCStringPtr hands the text out
    };
    const std::vector<Case> cases = {
        {"BuiltInSpeakerDevice", 20, true},
        {"", 0, true},
        {"Caf\xC3\xA9 \xF0\x9F\x8E\xA7", 7, false},  // é is one unit, the headphones emoji two
    };
    for (const Case& c : cases) {
        const CFStringRef ref = CFStringCreateWithCString(nullptr, c.text.c_str(), kCFStringEncodingUTF8);
        ASSERT_NE(ref, nullptr) << c.text;
        EXPECT_EQ(CFStringGetLength(ref), c.utf16) << c.text;
        EXPECT_EQ(CFStringGetMaximumSizeForEncoding(c.utf16, kCFStringEncodingUTF8), 3 * c.utf16);
        const char* direct = CFStringGetCStringPtr(ref, kCFStringEncodingUTF8);
        EXPECT_EQ(direct != nullptr, c.direct) << c.text;
        if (direct != nullptr) {
            EXPECT_EQ(std::string(direct), c.text);
        }
        EXPECT_EQ(copied(ref), c.text);
        CFRelease(ref);
    }
}

TEST_F(Strings, CopyNeedsRoomForTheTerminator) {
    const CFStringRef ref = CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(CFStringGetCString(ref, buffer, 3, kCFStringEncodingUTF8));
    EXPECT_TRUE(CFStringGetCString(ref, buffer, 4, kCFStringEncodingUTF8));
    EXPECT_STREQ(buffer, "abc");
    CFRelease(ref);
}

TEST_F(Strings, BytesKeepEmbeddedNulsAndInvalidTextMakesNothing) {
    const UInt8 withNul[] = {'a', 0, 'b'};
    const CFStringRef ref = CFStringCreateWithBytes(nullptr, withNul, 3, kCFStringEncodingUTF8, 0);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(CFStringGetLength(ref), 3);
    EXPECT_EQ(CFStringGetCStringPtr(ref, kCFStringEncodingUTF8), nullptr);
    CFRelease(ref);

    const UInt8 broken[] = {'a', 0xC3};
    EXPECT_EQ(CFStringCreateWithBytes(nullptr, broken, 2, kCFStringEncodingUTF8, 0), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8), nullptr);  // a surrogate
    EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
}

TEST_F(Strings, RetainAndReleaseAreCounted) {
    const long before = sim::stringsAlive();
    const CFStringRef ref = CFStringCreateWithCString(nullptr, "held", kCFStringEncodingUTF8);
    EXPECT_EQ(sim::stringsAlive(), before + 1);
    EXPECT_EQ(CFRetain(ref), ref);
    CFRelease(ref);
    EXPECT_EQ(sim::stringsAlive(), before + 1);
    EXPECT_EQ(copied(ref), "held");
    CFRelease(ref);
    EXPECT_EQ(sim::stringsAlive(), before);
    EXPECT_EQ(sim::overReleases(), 0);

    // A reference no longer live: counted, and its old text is not read.
    CFRelease(ref);
    CFRelease(nullptr);
    EXPECT_EQ(sim::overReleases(), 2);
    EXPECT_EQ(CFStringGetLength(ref), 0);
    EXPECT_EQ(CFStringGetCStringPtr(ref, kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(calls("CFRelease").back()["overRelease"], true);
}

TEST_F(Strings, StringsHandedOverStayAliveUntilReleased) {
    const long before = sim::stringsAlive();
    const auto address = at(code("uid "));
    CFStringRef ref = nullptr;
    UInt32 size = sizeof ref;
    ASSERT_EQ(AudioObjectGetPropertyData(device(0), &address, 0, nullptr, &size, &ref), 0);
    EXPECT_EQ(sim::stringsAlive(), before + 1);
    EXPECT_EQ(copied(ref), "spk");
    CFRelease(ref);
    EXPECT_EQ(sim::stringsAlive(), before);
}

TEST_F(Strings, TheExitLineCountsWhatWasLeftAndReleasedTwice) {
    const long alreadyAlive = sim::stringsAlive();  // the child inherits these
    const auto end = inChild({}, [] {
        const auto address = at(code("uid "));
        CFStringRef kept = nullptr;
        UInt32 size = sizeof kept;
        AudioObjectGetPropertyData(device(0), &address, 0, nullptr, &size, &kept);  // never released
        const CFStringRef twice = CFStringCreateWithCString(nullptr, "twice", kCFStringEncodingUTF8);
        CFRelease(twice);
        CFRelease(twice);
    });
    EXPECT_EQ(end.status, 0);
    const auto lines = machine().log();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), (nlohmann::json{{"fn", "exit"}, {"stringsAlive", alreadyAlive + 1}, {"overReleases", 1}}));
}

}  // namespace
}  // namespace platform_test
