// Properties of devices and of their streams.
#include "sim/base64.h"
#include "sim/properties.h"

#include <cmath>

namespace sim {

namespace {

bool sideScope(AudioObjectPropertyScope scope) {
    return scope == kAudioObjectPropertyScopeOutput || scope == kAudioObjectPropertyScopeInput;
}

Reply streamConfiguration(const std::vector<Stream>& streams) {
    // An AudioBufferList: the count, padding to 8, then 16 bytes per buffer (channels, size 0, no data).
    Reply r;
    r.bytes.assign(8 + 16 * streams.size(), 0);
    const auto count = UInt32(streams.size());
    std::memcpy(r.bytes.data(), &count, 4);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        std::memcpy(r.bytes.data() + 8 + 16 * i, &streams[i].channels, 4);
    }
    return r;
}

constexpr double defaultRate = 48000;

}  // namespace

bool deviceHas(const Device& d, const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioDevicePropertyDeviceUID:
            return true;
        case kAudioObjectPropertyName:
            return d.name.has_value();
        case kAudioDevicePropertyNominalSampleRate:
            return d.rate.has_value();
        case kAudioDevicePropertyAvailableNominalSampleRates:
            return d.rates.has_value();
        case kAudioDevicePropertyStreamConfiguration:
            return sideScope(a.mScope);
        case kAudioDevicePropertyStreams:
            return sideScope(a.mScope) || a.mScope == kAudioObjectPropertyScopeGlobal;
        case kAudioDevicePropertyPreferredChannelLayout:
            return a.mScope == kAudioObjectPropertyScopeOutput && d.layout.has_value();
        case kAudioDevicePropertyVolumeScalar:
            return a.mScope == kAudioObjectPropertyScopeOutput && d.volume.count(a.mElement) != 0;
        default:
            return false;
    }
}

Reply deviceRead(const Machine& m, std::size_t index, const AudioObjectPropertyAddress& a) {
    const Device& d = m.devices[index];
    switch (a.mSelector) {
        case kAudioDevicePropertyDeviceUID:
            return stringReply(d.uid);
        case kAudioObjectPropertyName:
            return stringReply(d.name);
        case kAudioDevicePropertyNominalSampleRate:
            return plain<Float64>(*d.rate);
        case kAudioDevicePropertyAvailableNominalSampleRates: {
            std::vector<AudioValueRange> ranges;
            for (const auto& [lo, hi] : *d.rates) ranges.push_back(AudioValueRange{lo, hi});
            Reply r;
            r.itemSize = sizeof(AudioValueRange);
            r.bytes.resize(ranges.size() * sizeof(AudioValueRange));
            if (!ranges.empty()) std::memcpy(r.bytes.data(), ranges.data(), r.bytes.size());
            return r;
        }
        case kAudioDevicePropertyStreamConfiguration:
            return streamConfiguration(a.mScope == kAudioObjectPropertyScopeOutput ? d.output : d.input);
        case kAudioDevicePropertyStreams: {
            std::vector<AudioObjectID> list;
            const std::size_t outputs = d.output.size();
            const std::size_t all = outputs + d.input.size();
            const std::size_t from = a.mScope == kAudioObjectPropertyScopeInput ? outputs : 0;
            const std::size_t to = a.mScope == kAudioObjectPropertyScopeOutput ? outputs : all;
            for (std::size_t s = from; s < to; ++s) list.push_back(ids::stream(index, s));
            return objectList(list);
        }
        case kAudioDevicePropertyPreferredChannelLayout: {
            Reply r;
            r.bytes = *d.layout;
            return r;
        }
        case kAudioDevicePropertyVolumeScalar: {
            const auto volume = d.volume.find(a.mElement);
            if (volume == d.volume.end()) return failed(kAudioHardwareUnknownPropertyError);
            return plain<Float32>(Float32(volume->second));
        }
        default:
            return failed(kAudioHardwareUnknownPropertyError);
    }
}

bool deviceSettable(AudioObjectPropertySelector selector) {
    return selector == kAudioDevicePropertyNominalSampleRate || selector == kAudioDevicePropertyPreferredChannelLayout ||
           selector == kAudioDevicePropertyVolumeScalar;
}

OSStatus deviceWrite(const Machine& m, Document& doc, std::size_t index, const AudioObjectPropertyAddress& a,
                     const void* data, UInt32 size) {
    if (data == nullptr) return kAudioHardwareIllegalOperationError;
    const Device& d = m.devices[index];
    Document& entry = doc["devices"][index];
    switch (a.mSelector) {
        case kAudioDevicePropertyNominalSampleRate: {
            if (size < sizeof(Float64)) return kAudioHardwareBadPropertySizeError;
            Float64 rate = 0;
            std::memcpy(&rate, data, sizeof rate);
            bool supported = std::isfinite(rate) && rate > 0;
            if (supported && d.rates && !d.rates->empty()) {
                supported = false;
                for (const auto& [lo, hi] : *d.rates) supported = supported || (rate >= lo && rate <= hi);
            }
            if (!supported) return kAudioHardwareIllegalOperationError;
            entry["rate"] = rate;
            return 0;
        }
        case kAudioDevicePropertyPreferredChannelLayout: {
            // The fixed part of a channel layout record is 12 bytes.
            if (size < 12) return kAudioHardwareIllegalOperationError;
            entry["layout"] = base64::encode(static_cast<const std::uint8_t*>(data), size);
            return 0;
        }
        case kAudioDevicePropertyVolumeScalar: {
            if (size < sizeof(Float32)) return kAudioHardwareBadPropertySizeError;
            Float32 scalar = 0;
            std::memcpy(&scalar, data, sizeof scalar);
            if (!(scalar >= 0.0f && scalar <= 1.0f)) return kAudioHardwareIllegalOperationError;
            // Kept as the 32-bit value it is, widened exactly.
            entry["volume"][std::to_string(a.mElement)] = double(scalar);
            return 0;
        }
        default:
            return kAudioHardwareIllegalOperationError;
    }
}

bool streamHas(const AudioObjectPropertyAddress& a) {
    return a.mSelector == kAudioStreamPropertyVirtualFormat;
}

Reply streamRead(const Machine& m, const ids::Ref& ref, const AudioObjectPropertyAddress& a) {
    if (a.mSelector != kAudioStreamPropertyVirtualFormat) return failed(kAudioHardwareUnknownPropertyError);
    const Device& d = m.devices[ref.index];
    return plain(floatFormat(d.rate.value_or(defaultRate), ref.streamOf(m)->channels));
}

}  // namespace sim
