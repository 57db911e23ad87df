#include "tap/aggregate.h"

#include "shared/cfstring.h"

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace tap {

namespace {

struct Release {
    void operator()(const void* ref) const { CFRelease(ref); }
};
// Any CoreFoundation reference of ours, released once.
using Held = std::unique_ptr<const void, Release>;

Held number(std::int32_t value) {
    return Held(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
}

// One dictionary of CFType keys and values; it holds references of its own to them.
Held dictionary(const std::vector<std::pair<const char*, const void*>>& members) {
    std::vector<cf::String> names;
    std::vector<const void*> keys, values;
    for (const auto& [name, value] : members) {
        names.push_back(cf::make(name));
        if (!names.back() || value == nullptr) {
            return nullptr;
        }
        keys.push_back(names.back().get());
        values.push_back(value);
    }
    return Held(CFDictionaryCreate(nullptr, keys.data(), values.data(), static_cast<CFIndex>(keys.size()),
                                   &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

}  // namespace

CFDictionaryRef aggregateDescription(const std::string& name, const std::string& uid, const std::string& tapUUID) {
    cf::String tapUID = cf::make(tapUUID);
    Held tap = dictionary({{kAudioSubTapUIDKey, tapUID.get()}});
    const void* only = tap.get();
    Held taps(tap ? CFArrayCreate(nullptr, &only, 1, &kCFTypeArrayCallBacks) : nullptr);
    cf::String nameText = cf::make(name), uidText = cf::make(uid);
    Held yes = number(1), no = number(0);
    Held description = dictionary({
        {kAudioAggregateDeviceNameKey, nameText.get()},
        {kAudioAggregateDeviceUIDKey, uidText.get()},
        {kAudioAggregateDeviceIsPrivateKey, yes.get()},
        {kAudioAggregateDeviceIsStackedKey, no.get()},
        {kAudioAggregateDeviceTapAutoStartKey, yes.get()},
        {kAudioAggregateDeviceTapListKey, taps.get()},
    });
    return static_cast<CFDictionaryRef>(description.release());
}

std::string newUUIDString() {
    Held uuid(CFUUIDCreate(nullptr));
    cf::String text(uuid ? CFUUIDCreateString(nullptr, static_cast<CFUUIDRef>(uuid.get())) : nullptr);
    return text ? cf::text(text.get()).value_or("") : "";
}

}  // namespace tap
