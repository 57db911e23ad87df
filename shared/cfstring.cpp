#include "shared/cfstring.h"

#include <vector>

namespace cf {

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
    // The fast pointer may be null for any string; the copy below always works.
    if (const char* direct = CFStringGetCStringPtr(ref, kCFStringEncodingUTF8)) {
        return std::string(direct);
    }
    CFIndex length = CFStringGetLength(ref);
    CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
    if (length < 0 || size <= 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(ref, buffer.data(), size, kCFStringEncodingUTF8)) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

}  // namespace cf
