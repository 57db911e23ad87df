// Platform string references: ownership and conversion to and from UTF-8 text.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>

namespace cf {

// Owns one string reference and releases it exactly once.
class String {
public:
    String() = default;
    explicit String(CFStringRef ref) : ref_(ref) {}
    String(const String&) = delete;
    String& operator=(const String&) = delete;
    String(String&& other) noexcept : ref_(other.ref_) { other.ref_ = nullptr; }
    String& operator=(String&& other) noexcept;
    ~String();

    CFStringRef get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    CFStringRef ref_ = nullptr;
};

// A new platform string holding the UTF-8 text (embedded NULs kept); empty when it cannot be made.
String make(const std::string& text);

// The whole UTF-8 text of a string reference, U+0000 included; nothing for a null reference or a
// failed conversion.
// Does not release the reference.
std::optional<std::string> text(CFStringRef ref);

}  // namespace cf
