#include "sim/properties.h"

#include "base64.h"
#include "sim/cf_objects.h"
#include "sim/state.h"
#include "sim/taps.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double defaultRate = 48000;

// The device with that UID as this process sees it: with a view it first read, a device plugged in
// since is unknown and one unplugged since is a dead object.
AudioObjectID deviceNamed(const Machine& m, const DeviceView* view, const std::optional<std::string>& uid) {
    if (!uid) return kAudioObjectUnknown;
    const bool seen = view == nullptr || std::find(view->uids.begin(), view->uids.end(), *uid) != view->uids.end();
    if (!seen) return kAudioObjectUnknown;
    const auto index = m.deviceIndex(*uid);
    return index ? ids::device(*index) : view == nullptr ? kAudioObjectUnknown : ids::gone;
}

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

Reply objectList(const std::vector<AudioObjectID>& objects) {
    Reply r;
    r.itemSize = sizeof(AudioObjectID);
    r.bytes.resize(objects.size() * sizeof(AudioObjectID));
    if (!objects.empty()) {
        std::memcpy(r.bytes.data(), objects.data(), r.bytes.size());
    }
    return r;
}

// The 40-byte linear PCM description of 32-bit float packed interleaved samples.
AudioStreamBasicDescription floatFormat(double rate, UInt32 channels) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    f.mBytesPerPacket = 4 * channels;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4 * channels;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    return f;
}

}  // namespace

Reply stringReply(std::optional<std::string> text) {
    Reply r;
    r.isString = true;
    r.text = std::move(text);
    return r;
}

// The system object: devices, defaults, processes and the two translations.

bool systemHas(const Machine&, const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioHardwarePropertyRunLoop:
        case kAudioHardwarePropertyDevices:
        case kAudioHardwarePropertyDefaultOutputDevice:
        case kAudioHardwarePropertyDefaultInputDevice:
        case kAudioHardwarePropertyTranslateUIDToDevice:
        case kAudioHardwarePropertyProcessObjectList:
        case kAudioHardwarePropertyTranslatePIDToProcessObject:
            return true;
        default:
            return false;
    }
}

Reply systemRead(const Machine& m, const DeviceView* view, const AudioObjectPropertyAddress& a, Qualifier q) {
    switch (a.mSelector) {
        case kAudioHardwarePropertyRunLoop:
            // Only ever set to NULL here, and nothing reads it back but to see that.
            return plain<CFRunLoopRef>(nullptr);
        case kAudioHardwarePropertyDevices: {
            std::vector<AudioObjectID> list;
            if (view != nullptr) {
                for (const std::string& uid : view->uids) list.push_back(deviceNamed(m, view, uid));
            } else {
                for (std::size_t i = 0; i < m.devices.size(); ++i) list.push_back(ids::device(i));
            }
            return objectList(list);
        }
        case kAudioHardwarePropertyDefaultOutputDevice:
            return plain<AudioObjectID>(deviceNamed(m, view, view ? view->output : m.defaultOutput));
        case kAudioHardwarePropertyDefaultInputDevice:
            return plain<AudioObjectID>(deviceNamed(m, view, view ? view->input : m.defaultInput));
        case kAudioHardwarePropertyTranslateUIDToDevice: {
            if (q.data == nullptr || q.size < sizeof(CFStringRef)) return failed(kAudioHardwareBadPropertySizeError);
            CFStringRef uid = nullptr;
            std::memcpy(&uid, q.data, sizeof uid);
            const std::string* text = cf::liveText(uid);
            if (text == nullptr) return failed(kAudioHardwareIllegalOperationError);
            // An unknown UID is not an error: the answer is no object.
            return plain<AudioObjectID>(deviceNamed(m, view, *text));
        }
        case kAudioHardwarePropertyProcessObjectList: {
            std::vector<AudioObjectID> list;
            for (std::size_t i = 0; i < m.processes.size(); ++i) list.push_back(ids::process(m.processes[i]));
            return objectList(list);
        }
        case kAudioHardwarePropertyTranslatePIDToProcessObject: {
            if (q.data == nullptr || q.size < sizeof(pid_t)) return failed(kAudioHardwareBadPropertySizeError);
            pid_t pid = 0;
            std::memcpy(&pid, q.data, sizeof pid);
            for (std::size_t i = 0; i < m.processes.size(); ++i) {
                if (m.processes[i].pid == pid) return plain<AudioObjectID>(ids::process(m.processes[i]));
            }
            return plain<AudioObjectID>(kAudioObjectUnknown);
        }
        default:
            return failed(kAudioHardwareUnknownPropertyError);
    }
}

bool systemSettable(AudioObjectPropertySelector selector) {
    return selector == kAudioHardwarePropertyRunLoop || selector == kAudioHardwarePropertyDefaultOutputDevice ||
           selector == kAudioHardwarePropertyDefaultInputDevice;
}

OSStatus systemWrite(const Machine& m, Document& doc, const AudioObjectPropertyAddress& a, const void* data,
                     UInt32 size) {
    if (data == nullptr) return kAudioHardwareIllegalOperationError;
    if (size < sizeof(AudioObjectID)) return kAudioHardwareBadPropertySizeError;
    AudioObjectID object = 0;
    std::memcpy(&object, data, sizeof object);
    const bool output = a.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
    const ids::Ref ref = ids::resolve(m, object);
    // Only a device that can play the role, and that says it is a possible selection ('dflt'), may
    // take it. The header names no status for the refusal; 'nope' is the HAL's illegal operation.
    if (ref.kind != ids::Ref::Kind::device || m.devices[ref.index].channels(output) == 0 ||
        !m.devices[ref.index].canBeDefault) {
        return kAudioHardwareIllegalOperationError;
    }
    doc[output ? "defaultOutput" : "defaultInput"] = m.devices[ref.index].uid;
    return 0;
}

// Devices and their streams.

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
        case kAudioDevicePropertyDeviceCanBeDefaultDevice:
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
        case kAudioDevicePropertyDeviceCanBeDefaultDevice:
            // "depending on the scope": a device without channels there is no selection for that role.
            return plain<UInt32>(d.canBeDefault && d.channels(a.mScope == kAudioObjectPropertyScopeOutput) > 0);
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
            // 12 bytes of fixed part, then 20 for each channel description its third field counts:
            // the audio server would read past a shorter record.
            if (size < 12) return kAudioHardwareIllegalOperationError;
            UInt32 descriptions = 0;
            std::memcpy(&descriptions, static_cast<const std::uint8_t*>(data) + 8, sizeof descriptions);
            if (size < 12 + 20 * std::uint64_t(descriptions)) return kAudioHardwareIllegalOperationError;
            entry["layout"] = base64::encode({static_cast<const std::uint8_t*>(data), size});
            return 0;
        }
        case kAudioDevicePropertyVolumeScalar: {
            if (size < sizeof(Float32)) return kAudioHardwareBadPropertySizeError;
            Float32 scalar = 0;
            std::memcpy(&scalar, data, sizeof scalar);
            if (!(scalar >= 0.0f && scalar <= 1.0f)) return kAudioHardwareIllegalOperationError;
            // A control with steps takes the one nearest to what was set.
            if (d.volumeSteps) scalar = Float32(std::round(double(scalar) * *d.volumeSteps) / *d.volumeSteps);
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

// Audio process objects.

bool processHas(const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioProcessPropertyPID:
        case kAudioProcessPropertyBundleID:
        case kAudioProcessPropertyIsRunningOutput:
        case kAudioProcessPropertyDevices:
            return true;
        default:
            return false;
    }
}

Reply processRead(const Machine& m, const Process& p, const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioProcessPropertyPID:
            return plain<pid_t>(p.pid);
        case kAudioProcessPropertyBundleID:
            return stringReply(p.bundleId);
        case kAudioProcessPropertyIsRunningOutput:
            return plain<UInt32>(p.playing ? 1 : 0);
        case kAudioProcessPropertyDevices: {
            // The processes here only play; none records from a device.
            std::vector<AudioObjectID> list;
            if (a.mScope != kAudioObjectPropertyScopeInput) {
                for (const std::string& uid : p.devices) {
                    const auto index = m.deviceIndex(uid);
                    list.push_back(index ? ids::device(*index) : kAudioObjectUnknown);
                }
            }
            return objectList(list);
        }
        default:
            return failed(kAudioHardwareUnknownPropertyError);
    }
}

// Process taps and aggregate devices.

bool tapHas(const AudioObjectPropertyAddress& a) {
    return a.mSelector == kAudioTapPropertyFormat || a.mSelector == kAudioTapPropertyDescription;
}

Reply tapRead(const Machine& m, const CATapDescription& tap, const AudioObjectPropertyAddress& a,
              std::uint64_t cycle) {
    if (a.mSelector == kAudioTapPropertyDescription) {
        Reply r;
        r.description = tap;
        return r;
    }
    if (a.mSelector != kAudioTapPropertyFormat) return failed(kAudioHardwareUnknownPropertyError);
    return plain(tapFormat(m, tap, cycle));
}

bool aggregateHas(const AudioObjectPropertyAddress& a) {
    return a.mSelector == kAudioDevicePropertyDeviceUID || a.mSelector == kAudioObjectPropertyName;
}

Reply aggregateRead(const Aggregate& aggregate, const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioDevicePropertyDeviceUID:
            return stringReply(aggregate.uid);
        case kAudioObjectPropertyName:
            return stringReply(aggregate.name);
        default:
            return failed(kAudioHardwareUnknownPropertyError);
    }
}

}  // namespace sim
