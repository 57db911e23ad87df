// The Core Audio back end: the one implementation of SoundSystem. Holds no state; every call is
// a short run of synchronous property calls on the calling thread.
#pragma once

#include "sound/backend/sound_system.h"

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sound {

// The platform's audio system object: device list, defaults and UID translation live on it.
inline constexpr AudioObjectID systemObject = kAudioObjectSystemObject;

// At most this many channel volume elements are asked, whatever the channel count.
inline constexpr std::int64_t volumeChannelLimit = 16;

class CoreAudioSystem final : public SoundSystem {
public:
    std::optional<std::string> defaultUID(Direction direction) override;
    Written setDefault(Direction direction, const std::string& uid) override;
    bool exists(const std::string& uid, Direction direction) override;
    std::optional<std::string> name(const std::string& uid) override;
    std::optional<double> rate(const std::string& uid) override;
    Written setRate(const std::string& uid, double rate) override;
    std::optional<std::string> layout(const std::string& uid) override;
    bool setLayout(const std::string& uid, const std::string& layout) override;
    VolumeMap volume(const std::string& uid) override;
    std::optional<double> volume(const std::string& uid, const std::string& key) override;
    bool setVolume(const std::string& uid, const std::string& key, double value) override;
    std::vector<json::Object> devices() override;

    // The device with that UID; nothing when the platform fails or answers identifier 0.
    static std::optional<AudioObjectID> device(const std::string& uid);
    // Channels of all buffers of the stream configuration on that scope; 0 when it cannot be read.
    static std::int64_t channels(AudioObjectID object, AudioObjectPropertyScope scope);
    // 'dOut' for output, 'dIn ' for input.
    static AudioObjectPropertySelector defaultSelector(Direction direction);
    // The supported rates: a single-rate range once, a continuous range as its two ends, in the
    // platform's order; empty when they cannot be read.
    static std::vector<double> rates(AudioObjectID object);
};

}  // namespace sound
