#include "sim/cf_objects.h"

#include <deque>
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

__CFBoolean trueValue(true);
__CFBoolean falseValue(false);

bool immortal(CFTypeRef ref) {
    return ref == &trueValue || ref == &falseValue;
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

CFStringRef makeString(std::string text) {
    return adopt(new __CFString(std::move(text)));
}

CFDictionaryRef makeDictionary(const std::vector<std::pair<CFTypeRef, CFTypeRef>>& entries) {
    auto* dictionary = new __CFDictionary;
    for (const auto& [key, value] : entries) {
        retain(key);
        retain(value);
        dictionary->entries.emplace_back(key, value);
    }
    return adopt(dictionary);
}

CFArrayRef makeArray(const std::vector<CFTypeRef>& items) {
    auto* array = new __CFArray;
    for (CFTypeRef item : items) {
        retain(item);
        array->items.push_back(item);
    }
    return adopt(array);
}

CFBooleanRef boolean(bool value) {
    return value ? &trueValue : &falseValue;
}

const Object* live(CFTypeRef ref) {
    if (immortal(ref)) return static_cast<const Object*>(ref);
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
    if (ref == nullptr || immortal(ref)) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    auto* object = const_cast<Object*>(static_cast<const Object*>(ref));
    if (r.live.count(object) != 0) ++object->references;
}

bool release(CFTypeRef ref) {
    if (ref != nullptr && immortal(ref)) return true;
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
            for (const auto& [key, value] : static_cast<__CFDictionary*>(object)->entries) {
                children.push_back(key);
                children.push_back(value);
            }
            static_cast<__CFDictionary*>(object)->entries.clear();
        } else if (object->kind == Kind::array) {
            children = std::move(static_cast<__CFArray*>(object)->items);
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
