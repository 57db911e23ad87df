#include "sound/backend/core_audio_system.h"

#include "base64.h"
#include "shared/numbers.h"
#include "shared/property.h"
#include "sound/layout.h"
#include "sound/match.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <chrono>
#include <functional>
#include <limits>
#include <thread>

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

// A change the platform accepted shows in reads only once the HAL has told its listeners; until then
// it has not happened. Reads `shows` again every few milliseconds, for two seconds at most.
Written showsInTime(bool accepted, const std::function<bool()>& shows) {
    if (!accepted) {
        return Written::refused;
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!shows()) {
        if (std::chrono::steady_clock::now() >= limit) {
            return Written::unseen;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Written::shown;
}

// The element of a channel key ("0" main, "1".. channels); nothing for a key that is not one.
std::optional<AudioObjectPropertyElement> element(const std::string& key) {
    if (key.empty()) {
        return std::nullopt;
    }
    auto number = numbers::parseInteger(key, 0, std::numeric_limits<UInt32>::max());
    if (!number) {
        return std::nullopt;
    }
    return static_cast<AudioObjectPropertyElement>(*number);
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

std::optional<std::string> CoreAudioSystem::defaultUID(Direction direction) {
    auto object = property::get<AudioObjectID>(systemObject, property::address(defaultSelector(direction)), 0);
    // Identifier 0 means the role has no device, not a device numbered 0.
    if (!object || *object == kAudioObjectUnknown) {
        return std::nullopt;
    }
    return property::readString(*object, kAudioDevicePropertyDeviceUID);
}

Written CoreAudioSystem::setDefault(Direction direction, const std::string& uid) {
    auto object = device(uid);
    if (!object) {
        return Written::refused;
    }
    auto where = property::address(defaultSelector(direction));
    return showsInTime(property::set<AudioObjectID>(systemObject, where, *object),
                       [&] { return property::get<AudioObjectID>(systemObject, where, 0) == *object; });
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

std::optional<double> CoreAudioSystem::rate(const std::string& uid) {
    auto object = device(uid);
    if (!object) {
        return std::nullopt;
    }
    return property::get<Float64>(*object, rateAddress(), 0.0);
}

Written CoreAudioSystem::setRate(const std::string& uid, double rate) {
    auto object = device(uid);
    if (!object) {
        return Written::refused;
    }
    return showsInTime(property::set<Float64>(*object, rateAddress(), rate),
                       [&] { return rateInPlace(property::get<Float64>(*object, rateAddress(), 0.0), rate); });
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
    if (!bytes || !wholeLayout(*bytes)) {
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

std::optional<double> CoreAudioSystem::volume(const std::string& uid, const std::string& key) {
    auto object = device(uid);
    auto at = element(key);
    if (!object || !at) {
        return std::nullopt;
    }
    auto scalar = property::get<Float32>(*object, volumeAddress(*at), 0.0f);
    if (!scalar) {
        return std::nullopt;
    }
    return static_cast<double>(*scalar);
}

bool CoreAudioSystem::setVolume(const std::string& uid, const std::string& key, double value) {
    auto object = device(uid);
    auto at = element(key);
    if (!object || !at) {
        return false;
    }
    return property::set<Float32>(*object, volumeAddress(*at), narrow(value));
}

std::vector<double> CoreAudioSystem::rates(AudioObjectID object) {
    auto bytes = property::readBytes(object, property::address(kAudioDevicePropertyAvailableNominalSampleRates));
    if (!bytes) {
        return {};
    }
    std::vector<double> list;
    size_t ranges = bytes->size() / sizeof(AudioValueRange);
    for (size_t i = 0; i < ranges; ++i) {
        AudioValueRange range{};
        std::memcpy(&range, bytes->data() + i * sizeof range, sizeof range);
        // Neither sorted nor merged: the host sees the platform's own list.
        list.push_back(range.mMinimum);
        if (range.mMaximum != range.mMinimum) {
            list.push_back(range.mMaximum);
        }
    }
    return list;
}

std::vector<json::Object> CoreAudioSystem::devices() {
    std::vector<json::Object> records;
    for (AudioObjectID object : property::readObjects(systemObject, kAudioHardwarePropertyDevices)) {
        auto uid = property::readString(object, kAudioDevicePropertyDeviceUID);
        if (!uid) {
            continue;  // a device without a UID cannot be named to us later
        }
        auto name = property::readString(object, kAudioObjectPropertyName);
        auto outputs = channels(object, property::output);
        auto inputs = channels(object, property::input);
        auto rate = property::get<Float64>(object, property::address(kAudioDevicePropertyNominalSampleRate), 0.0);
        json::Array supported;
        for (double r : rates(object)) {
            supported.emplace_back(r);
        }
        records.push_back(json::Object{
            {"uid", *uid},
            {"name", name.value_or("")},
            {"outputs", static_cast<long long>(outputs)},
            {"inputs", static_cast<long long>(inputs)},
            {"rate", rate.value_or(0.0)},
            {"rates", std::move(supported)},
        });
    }
    return records;
}

}  // namespace sound
