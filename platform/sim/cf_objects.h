// What the simulated CoreFoundation references point at, and the registry of live references
// that lets a release of a dead reference be counted instead of touching freed memory.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <utility>
#include <vector>

namespace sim::cf {

enum class Kind { string, dictionary, array, number, uuid, tapDescription };

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
    std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
    bool holds = true;  // each key and value holds a reference (made with the CFType callbacks)
};

struct __CFArray : sim::cf::Object {
    __CFArray() : Object(sim::cf::Kind::array) {}
    std::vector<CFTypeRef> items;
    bool holds = true;  // each item holds a reference
};

struct __CFNumber : sim::cf::Object {
    explicit __CFNumber(long long v) : Object(sim::cf::Kind::number), value(v) {}
    const long long value;
};

struct __CFUUID : sim::cf::Object {
    explicit __CFUUID(std::string t) : Object(sim::cf::Kind::uuid), text(std::move(t)) {}
    const std::string text;  // upper-case 8-4-4-4-12
};

namespace sim::cf {

// A new string holding the UTF-8 text, with one reference for the caller. Not logged: for the
// simulated layer's own use (replies, descriptions).
CFStringRef makeString(std::string text);

// A dictionary or array; with `hold`, it takes a reference of its own to every key, value and item
// and gives them back when it goes, else it only points at them.
CFDictionaryRef makeDictionary(const std::vector<std::pair<CFTypeRef, CFTypeRef>>& entries, bool hold);
CFArrayRef makeArray(const std::vector<CFTypeRef>& items, bool hold);

// A number, and a UUID with that text, each with one reference for the caller.
CFNumberRef makeNumber(long long value);
CFUUIDRef makeUUID(std::string text);

// Counts a new object with its one reference as live, for the caller to release.
void adopt(Object* object);

// A new random (version 4) UUID as upper-case 8-4-4-4-12 text.
std::string randomUUIDText();

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
