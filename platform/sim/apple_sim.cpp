// The Objective-C pieces of the platform, simulated: tap descriptions, running applications,
// executable paths and bundle identifiers from the machine file, and the system version.
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

std::vector<AudioObjectID> TapDescription::processes() const {
    return impl_->description.processes;
}

void TapDescription::setProcesses(const std::vector<AudioObjectID>& processes) {
    impl_->description.processes = processes;
}

std::vector<std::string> TapDescription::bundleIDs() const {
    return impl_->description.bundleIDs;
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

OSStatus writeTapDescription(AudioObjectID tap, const TapDescription& description) {
    const CATapDescription* object = &description.impl()->description;
    const AudioObjectPropertyAddress address{kAudioTapPropertyDescription, kAudioObjectPropertyScopeGlobal,
                                             kAudioObjectPropertyElementMain};
    return AudioObjectSetPropertyData(tap, &address, 0, nullptr, sizeof object, &object);
}

OSStatus destroyProcessTap(AudioObjectID tap) {
    return AudioHardwareDestroyProcessTap(tap);
}

namespace {

// The machine's "apps" entry of that process id; "parent" is whoever started the reading program.
const sim::App* appOf(const sim::Machine& machine, pid_t pid) {
    for (const sim::App& app : machine.apps) {
        if ((app.pid ? *app.pid : ::getppid()) == pid) {
            return &app;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<RunningApplication> runningApplication(pid_t pid) {
    sim::State& s = sim::state();
    std::lock_guard<std::mutex> hold(s.mutex);
    const sim::App* app = appOf(s.machine(), pid);
    if (app == nullptr || !app->tracked) {
        return std::nullopt;
    }
    return RunningApplication{app->bundleId, app->name, app->policy};
}

std::optional<std::string> executablePath(pid_t pid) {
    sim::State& s = sim::state();
    std::lock_guard<std::mutex> hold(s.mutex);
    const sim::App* app = appOf(s.machine(), pid);
    return app != nullptr ? app->path : std::nullopt;
}

std::optional<std::string> bundleIdentifierAt(const std::string& bundlePath) {
    sim::State& s = sim::state();
    std::lock_guard<std::mutex> hold(s.mutex);
    const auto& bundles = s.machine().bundles;
    const auto found = bundles.find(bundlePath);
    return found != bundles.end() ? std::optional<std::string>(found->second) : std::nullopt;
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
