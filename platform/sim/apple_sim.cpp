// The Objective-C pieces of the platform, simulated: tap descriptions, the aggregate device
// description, running applications from the machine file, and the system version.
#include "apple.h"

#include "sim/cf_objects.h"
#include "sim/state.h"
#include "sim/taps.h"

#include <cstdio>
#include <random>
#include <unistd.h>

struct apple::TapDescription::Impl {
    CATapDescription description;
};

namespace apple {

TapDescription::TapDescription(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TapDescription::TapDescription(TapDescription&&) noexcept = default;
TapDescription& TapDescription::operator=(TapDescription&&) noexcept = default;
TapDescription::~TapDescription() = default;

TapDescription TapDescription::stereoMixdown(const std::vector<AudioObjectID>& processes) {
    auto impl = std::make_unique<Impl>();
    impl->description.processes = processes;
    impl->description.mixdown = true;
    impl->description.uuid = newUUIDString();
    return TapDescription(std::move(impl));
}

TapDescription TapDescription::deviceStream(const std::vector<AudioObjectID>& processes, const std::string& deviceUID,
                                            unsigned long stream) {
    auto impl = std::make_unique<Impl>();
    impl->description.processes = processes;
    impl->description.mixdown = false;
    impl->description.deviceUID = deviceUID;
    impl->description.stream = stream;
    impl->description.uuid = newUUIDString();
    return TapDescription(std::move(impl));
}

void TapDescription::setName(const std::string& name) {
    impl_->description.name = name;
}

void TapDescription::setPrivate(bool isPrivate) {
    impl_->description.isPrivate = isPrivate;
}

void TapDescription::setMuteBehavior(long behavior) {
    impl_->description.muteBehavior = behavior;
}

void TapDescription::setBundleIDs(const std::vector<std::string>& bundleIDs) {
    impl_->description.bundleIDs = bundleIDs;
}

void TapDescription::setProcessRestoreEnabled(bool enabled) {
    impl_->description.processRestoreEnabled = enabled;
}

std::string TapDescription::uuidString() const {
    return impl_->description.uuid;
}

OSStatus createProcessTap(const TapDescription& description, AudioObjectID* tap) {
    return AudioHardwareCreateProcessTap(&description.impl()->description, tap);
}

OSStatus destroyProcessTap(AudioObjectID tap) {
    return AudioHardwareDestroyProcessTap(tap);
}

CFDictionaryRef aggregateDescription(const std::string& name, const std::string& uid, const std::string& tapUUID) {
    namespace cf = sim::cf;
    // Built as CoreFoundation would: every key and value is an object the dictionary holds.
    const CFStringRef subKey = cf::makeString(kAudioSubTapUIDKey);
    const CFStringRef subValue = cf::makeString(tapUUID);
    const CFDictionaryRef sub = cf::makeDictionary({{subKey, subValue}});
    const CFArrayRef taps = cf::makeArray({sub});
    const std::vector<std::pair<std::string, CFTypeRef>> members = {
        {kAudioAggregateDeviceNameKey, cf::makeString(name)},
        {kAudioAggregateDeviceUIDKey, cf::makeString(uid)},
        {kAudioAggregateDeviceIsPrivateKey, cf::boolean(true)},
        {kAudioAggregateDeviceIsStackedKey, cf::boolean(false)},
        {kAudioAggregateDeviceTapAutoStartKey, cf::boolean(true)},
        {kAudioAggregateDeviceTapListKey, taps},
    };
    std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
    std::vector<CFTypeRef> made = {subKey, subValue, sub, taps};
    for (const auto& [key, value] : members) {
        const CFStringRef keyRef = cf::makeString(key);
        entries.emplace_back(keyRef, value);
        made.push_back(keyRef);
        if (key == kAudioAggregateDeviceNameKey || key == kAudioAggregateDeviceUIDKey) made.push_back(value);
    }
    const CFDictionaryRef description = cf::makeDictionary(entries);
    // The dictionary holds its own references now; ours go.
    for (CFTypeRef ref : made) cf::release(ref);
    return description;
}

std::string newUUIDString() {
    std::random_device random;
    unsigned char bytes[16];
    for (std::size_t i = 0; i < sizeof bytes; i += 4) {
        const unsigned value = random();
        for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::optional<RunningApplication> runningApplication(pid_t pid) {
    sim::State& s = sim::state();
    std::lock_guard<std::mutex> hold(s.mutex);
    for (const sim::App& app : s.machine().apps) {
        // "parent": whoever started the program reading the file.
        const pid_t appPid = app.pid ? *app.pid : ::getppid();
        if (appPid == pid) {
            return RunningApplication{app.bundleId, app.name, app.policy};
        }
    }
    return std::nullopt;
}

// Every simulated build has the bundle members; the machine's "system" says whether it runs them.
bool bundleTapsAvailable() {
    sim::State& s = sim::state();
    std::string version;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        version = s.machine().system;
    }
    long parts[3] = {0, 0, 0};
    std::size_t part = 0;
    for (char c : version) {
        if (c == '.') {
            ++part;
        } else if (part < 3) {
            parts[part] = parts[part] * 10 + (c - '0');
        }
    }
    const long wanted[3] = {26, 0, 0};
    for (std::size_t i = 0; i < 3; ++i) {
        if (parts[i] != wanted[i]) return parts[i] > wanted[i];
    }
    return true;
}

}  // namespace apple
