#include "shared/cfstring.h"

#include <vector>

namespace cf {

namespace {

// The bytes that `units` UTF-16 units of UTF-8 text take, U+0000 included; at most `capacity`.
std::size_t utf8Size(const char* bytes, std::size_t capacity, CFIndex units) {
    std::size_t at = 0;
    for (CFIndex counted = 0; counted < units && at < capacity; ++counted) {
        auto lead = static_cast<unsigned char>(bytes[at]);
        at += lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        counted += lead >= 0xF0 ? 1 : 0;  // beyond U+FFFF: a surrogate pair
    }
    return at < capacity ? at : capacity;
}

}  // namespace

String& String::operator=(String&& other) noexcept {
    if (this != &other) {
        if (ref_) {
            CFRelease(ref_);
        }
        ref_ = other.ref_;
        other.ref_ = nullptr;
    }
    return *this;
}

String::~String() {
    if (ref_) {
        CFRelease(ref_);
    }
}

String make(const std::string& text) {
    return String(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                          static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

std::optional<std::string> text(CFStringRef ref) {
    if (!ref) {
        return std::nullopt;
    }
    // The fast pointer may be null for any string; the copy below always works. Both are C strings,
    // so the text's length in UTF-16 units tells where it ends when it holds U+0000.
    const char* direct = CFStringGetCStringPtr(ref, kCFStringEncodingUTF8);
    CFIndex length = CFStringGetLength(ref);
    if (direct) {
        // Whole when its units end at the first NUL; otherwise a U+0000 cut it short.
        std::string upToNul(direct);
        if (utf8Size(upToNul.c_str(), upToNul.size() + 1, length) == upToNul.size()) {
            return upToNul;
        }
    }
    CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
    if (length < 0 || size <= 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(ref, buffer.data(), size, kCFStringEncodingUTF8)) {
        return std::nullopt;
    }
    return std::string(buffer.data(), utf8Size(buffer.data(), buffer.size() - 1, length));
}

}  // namespace cf
