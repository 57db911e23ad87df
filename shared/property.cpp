#include "shared/property.h"

#include "shared/cfstring.h"

namespace property {

AudioObjectPropertyAddress address(AudioObjectPropertySelector selector, AudioObjectPropertyScope scope,
                                   AudioObjectPropertyElement element) {
    return AudioObjectPropertyAddress{selector, scope, element};
}

void notifyOnOwnThread() {
    auto where = address(kAudioHardwarePropertyRunLoop);
    CFRunLoopRef none = nullptr;
    AudioObjectSetPropertyData(kAudioObjectSystemObject, &where, 0, nullptr, sizeof none, &none);
}

bool has(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    return AudioObjectHasProperty(object, &address) != 0;
}

bool settable(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    if (!has(object, address)) {
        return false;
    }
    Boolean isSettable = 0;
    return AudioObjectIsPropertySettable(object, &address, &isSettable) == 0 && isSettable != 0;
}

bool writeBytes(AudioObjectID object, const AudioObjectPropertyAddress& address, const void* data, UInt32 size) {
    if (!settable(object, address)) {
        return false;
    }
    return AudioObjectSetPropertyData(object, &address, 0, nullptr, size, data) == 0;
}

std::optional<std::vector<std::uint8_t>> readBytes(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(object, &address, 0, nullptr, &size) != 0 || size == 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(size, 0);
    UInt32 got = size;
    if (AudioObjectGetPropertyData(object, &address, 0, nullptr, &got, bytes.data()) != 0) {
        return std::nullopt;
    }
    if (got < bytes.size()) {
        bytes.resize(got);
    }
    return bytes;
}

std::vector<AudioObjectID> readObjects(AudioObjectID object, AudioObjectPropertySelector selector,
                                       AudioObjectPropertyScope scope) {
    auto where = address(selector, scope);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(object, &where, 0, nullptr, &size) != 0) {
        return {};
    }
    size_t count = size / sizeof(AudioObjectID);
    if (count == 0) {
        return {};
    }
    std::vector<AudioObjectID> objects(count, 0);
    UInt32 got = static_cast<UInt32>(count * sizeof(AudioObjectID));
    if (AudioObjectGetPropertyData(object, &where, 0, nullptr, &got, objects.data()) != 0) {
        return {};
    }
    // The list may have shrunk since the size query (a process exited): only what the read filled.
    if (got / sizeof(AudioObjectID) < count) {
        objects.resize(got / sizeof(AudioObjectID));
    }
    return objects;
}

std::optional<std::string> readString(AudioObjectID object, AudioObjectPropertySelector selector) {
    auto where = address(selector);
    CFStringRef ref = nullptr;
    UInt32 size = sizeof ref;
    if (AudioObjectGetPropertyData(object, &where, 0, nullptr, &size, &ref) != 0 || ref == nullptr) {
        return std::nullopt;
    }
    cf::String owned(ref);  // handed over to us: released once, here
    return cf::text(owned.get());
}

std::pair<OSStatus, AudioObjectID> translateUID(const std::string& uid) {
    cf::String ref = cf::make(uid);
    CFStringRef qualifier = ref.get();
    // Text the platform cannot make a string of (not UTF-8) names no device; a null qualifier
    // must never reach the platform.
    if (qualifier == nullptr) {
        return {0, kAudioObjectUnknown};
    }
    AudioObjectID device = 0;
    UInt32 size = sizeof device;
    auto where = address(kAudioHardwarePropertyTranslateUIDToDevice);
    OSStatus status = AudioObjectGetPropertyData(kAudioObjectSystemObject, &where, sizeof qualifier, &qualifier,
                                                 &size, &device);
    return {status, status == 0 ? device : 0};
}

}  // namespace property
