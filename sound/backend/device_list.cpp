// The listing of every device the platform knows, and each device's supported rates.
#include "sound/backend/core_audio_system.h"

#include "shared/property.h"

#include <cstring>

namespace sound {

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
