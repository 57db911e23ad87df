// The few Objective-C pieces of the platform behind plain C++: the process tap description and
// its creation, the running-application lookup, which application bundle a process lies in, and
// whether taps can follow a bundle identifier. One macOS implementation (platform/macos/*.mm), one
// simulated; what both share is in platform/*.cpp.
#pragma once

#include <CoreAudio/CoreAudio.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace apple {

// A CATapDescription. Move-only; the platform object is released when the value goes.
class TapDescription {
public:
    // A stereo mixdown of the given process objects (empty on the bundle-identifier road).
    static TapDescription stereoMixdown(const std::vector<AudioObjectID>& processes);
    // One output stream of the device with that UID, for the given process objects.
    static TapDescription deviceStream(const std::vector<AudioObjectID>& processes, const std::string& deviceUID,
                                       unsigned long stream);

    TapDescription(TapDescription&&) noexcept;
    TapDescription& operator=(TapDescription&&) noexcept;
    ~TapDescription();

    void setName(const std::string& name);
    void setPrivate(bool isPrivate);
    void setMuteBehavior(long behavior);
    // YES: tap every process except the listed ones.
    void setExclusive(bool exclusive);
    // The process objects it names.
    std::vector<AudioObjectID> processes() const;
    void setProcesses(const std::vector<AudioObjectID>& processes);
    // Only when `bundleTapsAvailable()`; otherwise they do nothing (and there are none).
    std::vector<std::string> bundleIDs() const;
    void setBundleIDs(const std::vector<std::string>& bundleIDs);
    void setProcessRestoreEnabled(bool enabled);
    // The description's own UUID as upper-case 8-4-4-4-12 text.
    std::string uuidString() const;

    struct Impl;
    Impl* impl() const { return impl_.get(); }

private:
    explicit TapDescription(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// AudioHardwareCreateProcessTap: the platform's status; the new tap's identifier in `tap`.
OSStatus createProcessTap(const TapDescription& description, AudioObjectID* tap);
// Gives an existing tap this description (kAudioTapPropertyDescription): it hears what the
// description names from then on. The platform's status.
OSStatus writeTapDescription(AudioObjectID tap, const TapDescription& description);
// AudioHardwareDestroyProcessTap: the platform's status.
OSStatus destroyProcessTap(AudioObjectID tap);

struct RunningApplication {
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    long activationPolicy = 0;  // 0 regular, 1 accessory, 2 prohibited
};

// The running application with that process id, or nothing when there is none.
std::optional<RunningApplication> runningApplication(pid_t pid);

// The full path of the executable of the process with that id; nothing when it cannot be found.
std::optional<std::string> executablePath(pid_t pid);

// The identifier of the bundle whose folder is at that path; nothing when it is no bundle or has none.
std::optional<std::string> bundleIdentifierAt(const std::string& bundlePath);

// The outermost "*.app" folder among those holding the executable at that path (the path up to
// it), so ".../Host.app/Contents/Frameworks/Helper.app/Contents/MacOS/Helper" gives ".../Host.app";
// nothing when no folder on the path is one.
std::optional<std::string> outermostAppBundle(std::string_view executable);

// The bundle identifier of the application the process belongs to: its running application's,
// else, for a helper, an XPC service or a tool inside an application (the lookup lists only user
// applications), that of the outermost application bundle holding its executable; "" when neither
// gives one.
std::string applicationBundleIdentifier(pid_t pid);

// True when a tap can follow a bundle identifier (`setBundleIDs`, `setProcessRestoreEnabled`):
// the program was built with an SDK that declares them (macOS 26 or later) and runs on macOS 26.0
// or later. A program built with an older SDK cannot hand the platform a bundle list on any system.
bool bundleTapsAvailable();

}  // namespace apple
