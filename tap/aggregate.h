// The description of the private aggregate device that carries the tap, in CoreFoundation calls
// that both builds make alike.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace tap {

// A private aggregate device holding one tap and nothing else, each value of the type the SDK
// documents for its key: "name" and "uid" strings; "private" 1, "stacked" 0 and "tapautostart" 1
// as numbers; "taps" an array of one dictionary whose "uid" is `tapUUID`. The caller releases it
// with CFRelease; null when any piece cannot be made.
CFDictionaryRef aggregateDescription(const std::string& name, const std::string& uid, const std::string& tapUUID);

// A new random UUID as upper-case 8-4-4-4-12 text; "" when none can be made.
std::string newUUIDString();

}  // namespace tap
