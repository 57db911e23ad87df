// Default devices, presence in a role, and names.
#include "sound/backend/core_audio_system.h"

#include "shared/property.h"

namespace sound {

std::optional<std::string> CoreAudioSystem::defaultUID(Direction direction) {
    auto object = property::get<AudioObjectID>(systemObject, property::address(defaultSelector(direction)), 0);
    // Identifier 0 means the role has no device, not a device numbered 0.
    if (!object || *object == kAudioObjectUnknown) {
        return std::nullopt;
    }
    return property::readString(*object, kAudioDevicePropertyDeviceUID);
}

bool CoreAudioSystem::setDefault(Direction direction, const std::string& uid) {
    auto object = device(uid);
    if (!object) {
        return false;
    }
    return property::set<AudioObjectID>(systemObject, property::address(defaultSelector(direction)), *object);
}

bool CoreAudioSystem::exists(const std::string& uid, Direction direction) {
    auto object = device(uid);
    if (!object) {
        return false;
    }
    auto scope = direction == Direction::output ? property::output : property::input;
    return channels(*object, scope) > 0;
}

std::optional<std::string> CoreAudioSystem::name(const std::string& uid) {
    auto object = device(uid);
    if (!object) {
        return std::nullopt;
    }
    return property::readString(*object, kAudioObjectPropertyName);
}

}  // namespace sound
