// The CoreFoundation string calls the programs make, each logged.
#include "sim/call_log.h"
#include "sim/cf_objects.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Number of UTF-16 units of valid UTF-8 text; nothing when the text is not valid UTF-8.
std::optional<CFIndex> utf16Length(const std::string& text) {
    CFIndex units = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        std::uint32_t point;
        if (lead < 0x80) {
            extra = 0;
            point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            point = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            point = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + extra >= text.size()) {
            return std::nullopt;  // cut short
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            point = point << 6 | (next & 0x3F);
        }
        static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (point < smallest[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return std::nullopt;  // overlong forms and surrogates are not UTF-8
        }
        units += point >= 0x10000 ? 2 : 1;
        i += extra + 1;
    }
    return units;
}

bool isASCII(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

CFStringRef create(const char* fn, std::optional<std::string> text, CFStringEncoding encoding) {
    CFStringRef made = nullptr;
    if (text && encoding == kCFStringEncodingUTF8 && utf16Length(*text)) {
        made = sim::cf::makeString(*text);
    }
    auto entry = sim::log::call(fn);
    if (text) entry["text"] = *text;
    entry["created"] = made != nullptr;
    sim::log::write(entry);
    return made;
}

}  // namespace

extern "C" {

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    return create("CFStringCreateWithCString", cStr != nullptr ? std::optional<std::string>(cStr) : std::nullopt,
                  encoding);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean) {
    std::optional<std::string> text;
    if (numBytes == 0) {
        text = std::string();
    } else if (bytes != nullptr && numBytes > 0) {
        text = std::string(reinterpret_cast<const char*>(bytes), std::size_t(numBytes));
    }
    return create("CFStringCreateWithBytes", text, encoding);
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
    const std::string* text = sim::cf::liveText(theString);
    // Only plain ASCII without NULs is handed out directly, so callers' copying road gets used too.
    const char* pointer = nullptr;
    if (text != nullptr && encoding == kCFStringEncodingUTF8 && isASCII(*text) &&
        std::strlen(text->c_str()) == text->size()) {
        pointer = text->c_str();
    }
    auto entry = sim::log::call("CFStringGetCStringPtr");
    entry["live"] = text != nullptr;
    entry["direct"] = pointer != nullptr;
    sim::log::write(entry);
    return pointer;
}

CFIndex CFStringGetLength(CFStringRef theString) {
    const std::string* text = sim::cf::liveText(theString);
    const CFIndex length = text != nullptr ? utf16Length(*text).value_or(0) : 0;
    auto entry = sim::log::call("CFStringGetLength");
    entry["live"] = text != nullptr;
    entry["length"] = length;
    sim::log::write(entry);
    return length;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    // kCFNotFound for what cannot be answered.
    CFIndex size = -1;
    if (encoding == kCFStringEncodingUTF8 && length >= 0 && length <= (CFIndex(1) << 60)) {
        size = length * 3;
    }
    auto entry = sim::log::call("CFStringGetMaximumSizeForEncoding");
    entry["length"] = length;
    entry["size"] = size;
    sim::log::write(entry);
    return size;
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
    const std::string* text = sim::cf::liveText(theString);
    bool copied = false;
    if (text != nullptr && buffer != nullptr && encoding == kCFStringEncodingUTF8 && bufferSize > 0 &&
        text->size() + 1 <= std::size_t(bufferSize)) {
        std::memcpy(buffer, text->c_str(), text->size() + 1);
        copied = true;
    }
    auto entry = sim::log::call("CFStringGetCString");
    entry["live"] = text != nullptr;
    entry["bufferSize"] = bufferSize;
    entry["result"] = copied;
    sim::log::write(entry);
    return copied ? 1 : 0;
}

CFTypeRef CFRetain(CFTypeRef cf) {
    const bool isLive = cf != nullptr && sim::cf::live(cf) != nullptr;
    sim::cf::retain(cf);
    auto entry = sim::log::call("CFRetain");
    entry["live"] = isLive;
    sim::log::write(entry);
    return cf;
}

void CFRelease(CFTypeRef cf) {
    const bool wasLive = sim::cf::release(cf);
    auto entry = sim::log::call("CFRelease");
    if (!wasLive) entry["overRelease"] = true;
    sim::log::write(entry);
}

}  // extern "C"
