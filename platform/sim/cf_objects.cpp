#include "sim/cf_objects.h"

#include <cstdio>
#include <deque>
#include <random>
#include <mutex>
#include <unordered_set>

namespace sim::cf {

namespace {

// Dead objects are kept this long before their memory is given back, so that a stale reference
// is not mistaken for a new object at the same address.
constexpr std::size_t quarantineSize = 65536;

struct Registry {
    std::mutex mutex;
    std::unordered_set<const Object*> live;
    std::deque<Object*> quarantine;
    long strings = 0;
    long overReleases = 0;
};

Registry& registry() {
    static Registry* r = new Registry;  // leaked: the exit line reads it after static destructors
    return *r;
}

template <class T>
const T* adopt(T* object) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    r.live.insert(object);
    if (object->kind == Kind::string) ++r.strings;
    return object;
}

}  // namespace

void adopt(Object* object) {
    adopt<Object>(object);
}

CFStringRef makeString(std::string text) {
    return adopt(new __CFString(std::move(text)));
}

CFDictionaryRef makeDictionary(const std::vector<std::pair<CFTypeRef, CFTypeRef>>& entries, bool hold) {
    auto* dictionary = new __CFDictionary;
    dictionary->holds = hold;
    for (const auto& [key, value] : entries) {
        if (hold) {
            retain(key);
            retain(value);
        }
        dictionary->entries.emplace_back(key, value);
    }
    return adopt(dictionary);
}

CFArrayRef makeArray(const std::vector<CFTypeRef>& items, bool hold) {
    auto* array = new __CFArray;
    array->holds = hold;
    for (CFTypeRef item : items) {
        if (hold) retain(item);
        array->items.push_back(item);
    }
    return adopt(array);
}

CFNumberRef makeNumber(long long value) {
    return adopt(new __CFNumber(value));
}

CFUUIDRef makeUUID(std::string text) {
    return adopt(new __CFUUID(std::move(text)));
}

std::string randomUUIDText() {
    std::random_device random;
    unsigned char bytes[16];
    for (std::size_t i = 0; i < sizeof bytes; i += 4) {
        const unsigned value = random();
        for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

const Object* live(CFTypeRef ref) {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    const auto* object = static_cast<const Object*>(ref);
    return r.live.count(object) != 0 ? object : nullptr;
}

const std::string* liveText(CFTypeRef ref) {
    const Object* object = live(ref);
    if (object == nullptr || object->kind != Kind::string) return nullptr;
    return &static_cast<const __CFString*>(object)->text;
}

void retain(CFTypeRef ref) {
    if (ref == nullptr) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    auto* object = const_cast<Object*>(static_cast<const Object*>(ref));
    if (r.live.count(object) != 0) ++object->references;
}

bool release(CFTypeRef ref) {
    std::vector<CFTypeRef> children;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> hold(r.mutex);
        auto* object = const_cast<Object*>(static_cast<const Object*>(ref));
        if (ref == nullptr || r.live.count(object) == 0) {
            ++r.overReleases;
            return false;
        }
        if (--object->references > 0) return true;
        r.live.erase(object);
        if (object->kind == Kind::string) {
            --r.strings;
            std::string().swap(static_cast<__CFString*>(object)->text);
        } else if (object->kind == Kind::dictionary) {
            auto* dictionary = static_cast<__CFDictionary*>(object);
            for (const auto& [key, value] : dictionary->entries) {
                if (!dictionary->holds) break;
                children.push_back(key);
                children.push_back(value);
            }
            dictionary->entries.clear();
        } else if (object->kind == Kind::array) {
            auto* array = static_cast<__CFArray*>(object);
            if (array->holds) children = std::move(array->items);
            array->items.clear();
        }
        r.quarantine.push_back(object);
        if (r.quarantine.size() > quarantineSize) {
            delete r.quarantine.front();
            r.quarantine.pop_front();
        }
    }
    for (CFTypeRef child : children) {
        release(child);
    }
    return true;
}

long stringsAlive() {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    return r.strings;
}

long overReleases() {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    return r.overReleases;
}

void forgetOverReleases() {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    r.overReleases = 0;
}

}  // namespace sim::cf
