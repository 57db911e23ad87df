// The thin layer over Core Audio property calls that both programs use. Every function answers
// a failed call with nothing, false, or an empty list; no status crosses this layer except where
// a caller must report it (`translateUID`).
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace property {

inline constexpr AudioObjectPropertyScope global = kAudioObjectPropertyScopeGlobal;
inline constexpr AudioObjectPropertyScope output = kAudioObjectPropertyScopeOutput;
inline constexpr AudioObjectPropertyScope input = kAudioObjectPropertyScopeInput;

// Tells the platform to deliver its notifications on a thread of its own ('rnlp' on the system
// object set to NULL). The programs run no run loop, and without this the platform's view of the
// devices (the list, UID translation, the defaults) is never brought up to date. Call before any
// other platform call. Should the platform refuse, nothing better is left than to go on as it is.
void notifyOnOwnThread();

// The property address (selector, scope, element).
AudioObjectPropertyAddress address(AudioObjectPropertySelector selector, AudioObjectPropertyScope scope = global,
                                   AudioObjectPropertyElement element = kAudioObjectPropertyElementMain);

// AudioObjectHasProperty.
bool has(AudioObjectID object, const AudioObjectPropertyAddress& address);

// Reads one fixed-size plain value without asking whether the property exists first; the
// buffer starts as `initial`. Nothing on a non-zero status.
template <class T>
std::optional<T> read(AudioObjectID object, const AudioObjectPropertyAddress& address, T initial,
                      UInt32 qualifierSize = 0, const void* qualifier = nullptr) {
    T value = initial;
    UInt32 size = sizeof(T);
    if (AudioObjectGetPropertyData(object, &address, qualifierSize, qualifier, &size, &value) != 0) {
        return std::nullopt;
    }
    return value;
}

// Like `read`, but asks AudioObjectHasProperty first and reads nothing when it says no.
template <class T>
std::optional<T> get(AudioObjectID object, const AudioObjectPropertyAddress& address, T initial) {
    if (!has(object, address)) {
        return std::nullopt;
    }
    return read(object, address, initial);
}

// True when the object has the property and the platform says it is settable (status 0).
bool settable(AudioObjectID object, const AudioObjectPropertyAddress& address);

// Writes `size` bytes after `settable` allows it; true exactly when the write's status is 0.
bool writeBytes(AudioObjectID object, const AudioObjectPropertyAddress& address, const void* data, UInt32 size);

// Writes one fixed-size plain value after `settable` allows it; true when the status is 0.
template <class T>
bool set(AudioObjectID object, const AudioObjectPropertyAddress& address, T value) {
    return writeBytes(object, address, &value, sizeof(T));
}

// A variable-size value: size query, a zero-filled buffer of that size, the read; the bytes the
// read handed back. Nothing on a non-zero status or a size of 0.
std::optional<std::vector<std::uint8_t>> readBytes(AudioObjectID object, const AudioObjectPropertyAddress& address);

// A list of 32-bit object identifiers at (selector, scope, 0): size query, size/4 zero-filled
// entries, the read; as many entries as the read filled. Empty on any failure or a size below 4 bytes.
std::vector<AudioObjectID> readObjects(AudioObjectID object, AudioObjectPropertySelector selector,
                                       AudioObjectPropertyScope scope = global);

// A text property at (selector, 'glob', 0), read without an existence check. Nothing on a
// non-zero status or a null reference; the reference handed over is released.
std::optional<std::string> readString(AudioObjectID object, AudioObjectPropertySelector selector);

// The device with that UID ('uidd' on the system object): the call's status and the identifier
// (0 when the platform does not know the UID).
std::pair<OSStatus, AudioObjectID> translateUID(const std::string& uid);

}  // namespace property
