// A device's nominal rate, preferred output layout and output volumes.
#include "sound/backend/core_audio_system.h"

#include "shared/numbers.h"
#include "shared/property.h"
#include "base64.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sound {

namespace {

AudioObjectPropertyAddress rateAddress() {
    return property::address(kAudioDevicePropertyNominalSampleRate);
}

AudioObjectPropertyAddress layoutAddress() {
    return property::address(kAudioDevicePropertyPreferredChannelLayout, property::output);
}

AudioObjectPropertyAddress volumeAddress(AudioObjectPropertyElement element) {
    return property::address(kAudioDevicePropertyVolumeScalar, property::output, element);
}

// The nearest 32-bit float; beyond its range the infinity of that sign (the platform refuses it).
Float32 narrow(double value) {
    if (value > std::numeric_limits<Float32>::max()) {
        return std::numeric_limits<Float32>::infinity();
    }
    if (value < -std::numeric_limits<Float32>::max()) {
        return -std::numeric_limits<Float32>::infinity();
    }
    return static_cast<Float32>(value);
}

}  // namespace

std::optional<double> CoreAudioSystem::rate(const std::string& uid) {
    auto object = device(uid);
    if (!object) {
        return std::nullopt;
    }
    return property::get<Float64>(*object, rateAddress(), 0.0);
}

bool CoreAudioSystem::setRate(const std::string& uid, double rate) {
    auto object = device(uid);
    if (!object) {
        return false;
    }
    return property::set<Float64>(*object, rateAddress(), rate);
}

std::optional<std::string> CoreAudioSystem::layout(const std::string& uid) {
    auto object = device(uid);
    if (!object || !property::has(*object, layoutAddress())) {
        return std::nullopt;
    }
    auto bytes = property::readBytes(*object, layoutAddress());
    if (!bytes) {
        return std::nullopt;
    }
    return base64::encode(*bytes);
}

bool CoreAudioSystem::setLayout(const std::string& uid, const std::string& layout) {
    auto object = device(uid);
    if (!object) {
        return false;
    }
    auto bytes = base64::decode(layout);
    if (!bytes || bytes->empty()) {
        return false;
    }
    return property::writeBytes(*object, layoutAddress(), bytes->data(), static_cast<UInt32>(bytes->size()));
}

VolumeMap CoreAudioSystem::volume(const std::string& uid) {
    auto object = device(uid);
    if (!object) {
        return {};
    }
    // The main element is always asked, and a device with no output channels still gets element 1.
    auto count = std::clamp<std::int64_t>(channels(*object, property::output), 1, volumeChannelLimit);
    VolumeMap volumes;
    for (std::int64_t element = 0; element <= count; ++element) {
        auto scalar = property::get<Float32>(*object, volumeAddress(static_cast<AudioObjectPropertyElement>(element)), 0.0f);
        if (scalar) {
            volumes[std::to_string(element)] = static_cast<double>(*scalar);
        }
        if (element == 0 && !volumes.empty()) {
            break;  // a main volume describes the whole device
        }
    }
    return volumes;
}

bool CoreAudioSystem::setVolume(const std::string& uid, const std::string& key, double value) {
    auto object = device(uid);
    if (!object || key.empty()) {
        return false;
    }
    auto element = numbers::parseInteger(key, 0, std::numeric_limits<UInt32>::max());
    if (!element) {
        return false;
    }
    return property::set<Float32>(*object, volumeAddress(static_cast<AudioObjectPropertyElement>(*element)),
                                  narrow(value));
}

}  // namespace sound
