// Strict standard base64: the layouts carried through files and reports must come back byte-exact.
#include "sound/base64.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(Base64, KnownVectorsBothWays) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64::encode(bytes(plain)), encoded);
        EXPECT_EQ(base64::decode(encoded), bytes(plain)) << encoded;
    }
}

TEST(Base64, EveryByteValueRoundTrips) {
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<std::uint8_t>(255 - i));
    }
    for (size_t length : {size_t{253}, size_t{254}, size_t{255}, size_t{256}}) {
        std::vector<std::uint8_t> part(all.begin(), all.begin() + static_cast<long>(length));
        auto text = base64::encode(part);
        EXPECT_NE(text.find('+'), std::string::npos);
        EXPECT_NE(text.find('/'), std::string::npos);
        EXPECT_EQ(base64::decode(text), part);
    }
}

TEST(Base64, RejectsAnythingButCanonicalText) {
    const char* bad[] = {
        "Zg",        // no padding
        "Zg=",       // short padding
        "Zm9v\n",    // line break
        " Zm9v",     // white space
        "Zm9 v",
        "Zm9v Zg==",
        "Zg==Zm9v",  // padding before the end
        "=Zg=",
        "Zm=v",
        "Z===",
        "====",
        "Zm9-",      // URL-safe alphabet
        "Zm9_",
        "Zm9v\x80\x80\x80\x80",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(base64::decode(text)) << text;
    }
}

TEST(Base64, ToleratesUnusedTrailingBitsLikeThePlatformDecoder) {
    EXPECT_EQ(base64::decode("Zh=="), (std::vector<std::uint8_t>{'f'}));
    EXPECT_EQ(base64::decode("Zm9="), (std::vector<std::uint8_t>{'f', 'o'}));
}

}  // namespace
