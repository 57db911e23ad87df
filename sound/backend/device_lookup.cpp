// Finding a device by UID and counting its channels.
#include "sound/backend/core_audio_system.h"

#include "shared/property.h"

#include <cstddef>
#include <cstring>

namespace sound {

std::optional<AudioObjectID> CoreAudioSystem::device(const std::string& uid) {
    // An unknown UID comes back either as a failed call or as identifier 0 with status 0.
    auto [status, object] = property::translateUID(uid);
    if (status != 0 || object == kAudioObjectUnknown) {
        return std::nullopt;
    }
    return object;
}

std::int64_t CoreAudioSystem::channels(AudioObjectID object, AudioObjectPropertyScope scope) {
    auto bytes = property::readBytes(object, property::address(kAudioDevicePropertyStreamConfiguration, scope));
    if (!bytes || bytes->size() < sizeof(UInt32)) {
        return 0;
    }
    // An AudioBufferList read field by field: the bytes need not be aligned for the struct.
    UInt32 buffers = 0;
    std::memcpy(&buffers, bytes->data(), sizeof buffers);
    std::int64_t total = 0;
    for (UInt32 i = 0; i < buffers; ++i) {
        size_t at = offsetof(AudioBufferList, mBuffers) + i * sizeof(AudioBuffer) + offsetof(AudioBuffer, mNumberChannels);
        if (at + sizeof(UInt32) > bytes->size()) {
            break;  // a count larger than what was handed over: never read past it
        }
        UInt32 count = 0;
        std::memcpy(&count, bytes->data() + at, sizeof count);
        total += count;
    }
    return total;
}

AudioObjectPropertySelector CoreAudioSystem::defaultSelector(Direction direction) {
    return direction == Direction::output ? kAudioHardwarePropertyDefaultOutputDevice
                                          : kAudioHardwarePropertyDefaultInputDevice;
}

}  // namespace sound
