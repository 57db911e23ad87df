// Process taps: creation, destruction, format and the processes they hear.
#include "sim/taps.h"

#include "sim/call_log.h"
#include "sim/io_thread.h"
#include "sim/objects.h"
#include "sim/state.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace sim {

namespace {

constexpr double defaultRate = 48000;

const Device* tappedDevice(const Machine& m, const CATapDescription& tap) {
    const std::optional<std::string> uid = tap.mixdown ? m.defaultOutput : std::optional<std::string>(tap.deviceUID);
    if (!uid) return nullptr;
    const auto index = m.deviceIndex(*uid);
    return index ? &m.devices[*index] : nullptr;
}

UInt32 tapChannels(const Machine& m, const CATapDescription& tap) {
    if (m.tap.channels) return *m.tap.channels;
    if (tap.mixdown) return 2;
    const Device* device = tappedDevice(m, tap);
    return device != nullptr && tap.stream < device->output.size() ? device->output[tap.stream].channels : 0;
}

// Whether the platform takes the description: its processes exist, and its device and stream do.
OSStatus check(const Machine& m, const CATapDescription& tap) {
    for (AudioObjectID object : tap.processes) {
        if (ids::resolve(m, object).kind != ids::Ref::Kind::process) return kAudioHardwareBadObjectError;
    }
    if (!tap.mixdown) {
        const auto device = m.deviceIndex(tap.deviceUID);
        if (!device) return kAudioHardwareBadDeviceError;
        if (tap.stream >= m.devices[*device].output.size()) return kAudioHardwareIllegalOperationError;
    }
    return 0;
}

}  // namespace

log::Entry describe(const CATapDescription& tap) {
    log::Entry entry = log::Entry::object();
    entry["processes"] = tap.processes;
    if (tap.mixdown) {
        entry["mixdown"] = true;
    } else {
        entry["deviceUID"] = tap.deviceUID;
        entry["stream"] = tap.stream;
    }
    entry["exclusive"] = tap.exclusive;
    entry["name"] = tap.name;
    entry["private"] = tap.isPrivate;
    entry["muteBehavior"] = tap.muteBehavior;
    entry["bundleIDs"] = tap.bundleIDs;
    entry["processRestore"] = tap.processRestoreEnabled;
    return entry;
}

AudioStreamBasicDescription tapFormat(const Machine& m, const CATapDescription& tap, std::uint64_t cycle) {
    const Device* device = tappedDevice(m, tap);
    const double base = device != nullptr && device->rate ? *device->rate : defaultRate;
    const double rate = rateAt(m.tap.rateChanges, base, cycle);
    const UInt32 channels = tapChannels(m, tap);
    const UInt32 bytes = m.tap.bits / 8;
    AudioStreamBasicDescription f{};
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = UInt32(m.tap.isFloat ? kAudioFormatFlagIsFloat : kAudioFormatFlagIsSignedInteger) |
                     UInt32(kAudioFormatFlagIsPacked) |
                     (m.tap.interleaved ? UInt32(0) : UInt32(kAudioFormatFlagIsNonInterleaved));
    f.mBytesPerFrame = m.tap.interleaved ? bytes * channels : bytes;
    f.mBytesPerPacket = f.mBytesPerFrame;
    f.mFramesPerPacket = 1;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = m.tap.bits;
    return f;
}

TapSignal tapSignal(const Machine& m, const CATapDescription& tap) {
    TapSignal signal;
    std::set<std::size_t> listed, heard;
    for (AudioObjectID object : tap.processes) {
        const ids::Ref ref = ids::resolve(m, object);
        if (ref.kind == ids::Ref::Kind::process) listed.insert(ref.index);
    }
    // An exclusive tap hears every process but the listed ones.
    for (std::size_t i = 0; i < m.processes.size(); ++i) {
        if (listed.count(i) != (tap.exclusive ? 0u : 1u)) continue;
        heard.insert(i);
    }
    // A tap of bundle identifiers hears whichever processes carry them now.
    for (std::size_t i = 0; i < m.processes.size(); ++i) {
        for (const std::string& id : tap.bundleIDs) {
            if (m.processes[i].bundleId == id) heard.insert(i);
        }
    }
    for (std::size_t i : heard) {
        if (m.processes[i].playing) signal.levels.push_back(m.processes[i].level);
    }
    if (!tap.mixdown) {
        // Process channels run over all of the device's output streams, one after another.
        if (const Device* device = tappedDevice(m, tap)) {
            for (std::size_t s = 0; s < tap.stream && s < device->output.size(); ++s) {
                signal.firstChannel += device->output[s].channels;
            }
        }
    }
    signal.channels = tapChannels(m, tap);
    return signal;
}

OSStatus writeDescription(State& s, AudioObjectID tap, const void* data, UInt32 size) {
    if (data == nullptr) return kAudioHardwareIllegalOperationError;
    if (size < sizeof(CATapDescription*)) return kAudioHardwareBadPropertySizeError;
    const CATapDescription* written = nullptr;
    std::memcpy(&written, data, sizeof written);
    if (written == nullptr) return kAudioHardwareIllegalOperationError;
    const Machine& m = s.machine();
    const auto found = s.taps.find(tap);
    if (found == s.taps.end()) return kAudioHardwareBadObjectError;
    if (const OSStatus refused = check(m, *written)) return refused;
    found->second = *written;
    for (auto& [id, aggregate] : s.aggregates) {
        if (std::find(aggregate.taps.begin(), aggregate.taps.end(), tap) == aggregate.taps.end()) continue;
        for (auto& [proc, entry] : aggregate.procs) {
            if (entry.run) followMachine(*entry.run, m, s.taps);
        }
    }
    return 0;
}

std::uint64_t tapCycle(const State& s, AudioObjectID tap) {
    std::uint64_t cycle = 0;
    for (const auto& [id, aggregate] : s.aggregates) {
        if (std::find(aggregate.taps.begin(), aggregate.taps.end(), tap) == aggregate.taps.end()) continue;
        for (const auto& [proc, entry] : aggregate.procs) {
            if (entry.run) cycle = std::max(cycle, cyclesSoFar(*entry.run));
        }
    }
    return cycle;
}

}  // namespace sim

extern "C" {

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID) {
    using namespace sim;
    State& s = state();
    OSStatus status = 0;
    AudioObjectID made = kAudioObjectUnknown;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        const Machine& m = s.machine();
        if (inDescription == nullptr || outTapID == nullptr) {
            status = kAudioHardwareIllegalOperationError;
        } else if (const auto fault = m.tap.fault("create")) {
            status = *fault;
        } else {
            status = check(m, *inDescription);
            for (const auto& [id, tap] : s.taps) {
                if (tap.uuid == inDescription->uuid) status = kAudioHardwareIllegalOperationError;
            }
        }
        if (status == 0) {
            made = ids::firstTap + s.tapsMade++;
            s.taps[made] = *inDescription;
            *outTapID = made;
        }
    }
    auto entry = log::call("AudioHardwareCreateProcessTap");
    entry["status"] = status;
    if (status == 0) {
        entry["created"] = made;
        entry["uuid"] = inDescription->uuid;
    }
    if (inDescription != nullptr) entry["description"] = describe(*inDescription);
    log::write(entry);
    return status;
}

OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID) {
    using namespace sim;
    State& s = state();
    OSStatus status = 0;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        s.machine();
        // Aggregate devices made on it keep what they captured; the tap itself is gone.
        status = s.taps.erase(inTapID) == 1 ? 0 : kAudioHardwareBadObjectError;
    }
    auto entry = log::property("AudioHardwareDestroyProcessTap", inTapID, nullptr);
    entry["status"] = status;
    log::write(entry);
    return status;
}

}  // extern "C"
