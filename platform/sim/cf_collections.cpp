// The CoreFoundation numbers, dictionaries, arrays and UUIDs the programs make, each logged.
#include "sim/call_log.h"
#include "sim/cf_objects.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const void* retainCallBack(CFAllocatorRef, const void* value) {
    sim::cf::retain(value);
    return value;
}

void releaseCallBack(CFAllocatorRef, const void* value) {
    sim::cf::release(value);
}

// As CoreFoundation documents: without a retain callback a collection only points at its members.
template <class CallBacks>
bool holds(const CallBacks* callBacks) {
    return callBacks != nullptr && callBacks->retain != nullptr;
}

void logMade(const char* fn, const void* made) {
    auto entry = sim::log::call(fn);
    entry["created"] = made != nullptr;
    sim::log::write(entry);
}

}  // namespace

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, retainCallBack, releaseCallBack, nullptr, nullptr,
                                                                nullptr};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retainCallBack, releaseCallBack, nullptr,
                                                                    nullptr};
const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainCallBack, releaseCallBack, nullptr, nullptr};

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
    // Only the type the programs use; any other is undefined in the header, and refused here.
    CFNumberRef made = nullptr;
    if (theType == kCFNumberSInt32Type && valuePtr != nullptr) {
        std::int32_t value = 0;
        std::memcpy(&value, valuePtr, sizeof value);
        made = sim::cf::makeNumber(value);
    }
    logMade("CFNumberCreate", made);
    return made;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
    CFDictionaryRef made = nullptr;
    if (numValues == 0 || (numValues > 0 && keys != nullptr && values != nullptr)) {
        std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
        for (CFIndex i = 0; i < numValues; ++i) entries.emplace_back(keys[i], values[i]);
        made = sim::cf::makeDictionary(entries, holds(keyCallBacks) && holds(valueCallBacks));
    }
    logMade("CFDictionaryCreate", made);
    return made;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks) {
    CFArrayRef made = nullptr;
    if (numValues == 0 || (numValues > 0 && values != nullptr)) {
        made = sim::cf::makeArray(std::vector<CFTypeRef>(values, values + numValues), holds(callBacks));
    }
    logMade("CFArrayCreate", made);
    return made;
}

CFUUIDRef CFUUIDCreate(CFAllocatorRef) {
    CFUUIDRef made = sim::cf::makeUUID(sim::cf::randomUUIDText());
    logMade("CFUUIDCreate", made);
    return made;
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid) {
    const sim::cf::Object* object = sim::cf::live(uuid);
    CFStringRef made = object != nullptr && object->kind == sim::cf::Kind::uuid
                           ? sim::cf::makeString(static_cast<const __CFUUID*>(object)->text)
                           : nullptr;
    logMade("CFUUIDCreateString", made);
    return made;
}

}  // extern "C"
