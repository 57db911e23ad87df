// The Objective-C pieces of the platform, simulated: tap descriptions, running applications from
// the machine file, and the system version.
#include "apple.h"

#include "sim/cf_objects.h"
#include "sim/state.h"
#include "sim/taps.h"

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
    impl->description.uuid = sim::cf::randomUUIDText();
    return TapDescription(std::move(impl));
}

TapDescription TapDescription::deviceStream(const std::vector<AudioObjectID>& processes, const std::string& deviceUID,
                                            unsigned long stream) {
    auto impl = std::make_unique<Impl>();
    impl->description.processes = processes;
    impl->description.mixdown = false;
    impl->description.deviceUID = deviceUID;
    impl->description.stream = stream;
    // As the initializer's comment in the header reads: the listed processes are left out.
    impl->description.exclusive = true;
    impl->description.uuid = sim::cf::randomUUIDText();
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

void TapDescription::setExclusive(bool exclusive) {
    impl_->description.exclusive = exclusive;
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
