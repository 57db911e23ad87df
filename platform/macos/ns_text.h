// Text between std::string (UTF-8) and NSString, for the Objective-C++ pieces.
#pragma once

#import <Foundation/Foundation.h>

#include <optional>
#include <string>

namespace apple {

// The NSString of UTF-8 text; the empty string when the bytes are not UTF-8.
inline NSString* nsText(const std::string& text) {
    NSString* made = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
    return made != nil ? made : @"";
}

// The UTF-8 text of an NSString; nothing for nil.
inline std::optional<std::string> stdText(NSString* text) {
    const char* bytes = text != nil ? text.UTF8String : nullptr;
    if (bytes == nullptr) {
        return std::nullopt;
    }
    return std::string(bytes);
}

}  // namespace apple
