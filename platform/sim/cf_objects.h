// What the simulated CoreFoundation references point at, and the registry of live references
// that lets a release of a dead reference be counted instead of touching freed memory.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <utility>
#include <vector>

namespace sim::cf {

enum class Kind { string, dictionary, array, boolean };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
    long references = 1;  // guarded by the registry
};

}  // namespace sim::cf

struct __CFString : sim::cf::Object {
    explicit __CFString(std::string t) : Object(sim::cf::Kind::string), text(std::move(t)) {}
    std::string text;  // UTF-8
};

struct __CFDictionary : sim::cf::Object {
    __CFDictionary() : Object(sim::cf::Kind::dictionary) {}
    std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;  // each key and value holds a reference
};

struct __CFArray : sim::cf::Object {
    __CFArray() : Object(sim::cf::Kind::array) {}
    std::vector<CFTypeRef> items;  // each holds a reference
};

struct __CFBoolean : sim::cf::Object {
    explicit __CFBoolean(bool v) : Object(sim::cf::Kind::boolean), value(v) {}
    const bool value;
};

namespace sim::cf {

// A new string holding the UTF-8 text, with one reference for the caller. Not logged: for the
// simulated layer's own use (replies, descriptions).
CFStringRef makeString(std::string text);

// A dictionary or array that takes a reference of its own to every key, value and item.
CFDictionaryRef makeDictionary(const std::vector<std::pair<CFTypeRef, CFTypeRef>>& entries);
CFArrayRef makeArray(const std::vector<CFTypeRef>& items);

// The two immortal Booleans.
CFBooleanRef boolean(bool value);

// The object behind a reference that is live now; null for a dead or unknown reference. The
// object stays valid only while the caller knows that someone holds a reference to it.
const Object* live(CFTypeRef ref);

// The text of a live string reference; nothing for anything else.
const std::string* liveText(CFTypeRef ref);

// Reference counting. `release` answers false (and counts an over-release) for a reference that
// is not live.
void retain(CFTypeRef ref);
bool release(CFTypeRef ref);

// String references alive now, and releases of references that were not live.
long stringsAlive();
long overReleases();
void forgetOverReleases();

}  // namespace sim::cf
