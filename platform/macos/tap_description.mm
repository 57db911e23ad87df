// CATapDescription behind apple::TapDescription, and process-tap creation, which macOS
// declares for Objective-C only; and whether a tap can follow a bundle identifier.
#include "apple.h"
#include "ns_text.h"

#import <CoreAudio/AudioHardwareTapping.h>
#import <CoreAudio/CATapDescription.h>
#import <Foundation/Foundation.h>

// CATapDescription's bundle members (bundleIDs, processRestoreEnabled) are declared from the
// macOS 26 SDK on; @available only tests the running system, so older SDKs must not see them.
#if defined(__MAC_OS_X_VERSION_MAX_ALLOWED) && __MAC_OS_X_VERSION_MAX_ALLOWED >= 260000
#define SORVANE_SDK_BUNDLE_TAPS 1
#else
#define SORVANE_SDK_BUNDLE_TAPS 0
#endif

namespace apple {

struct TapDescription::Impl {
    CATapDescription* object = nil;
};

namespace {

NSArray<NSNumber*>* processList(const std::vector<AudioObjectID>& processes) {
    NSMutableArray<NSNumber*>* list = [NSMutableArray arrayWithCapacity:processes.size()];
    for (AudioObjectID process : processes) {
        [list addObject:@(process)];
    }
    return list;
}

}  // namespace

TapDescription::TapDescription(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TapDescription::TapDescription(TapDescription&&) noexcept = default;
TapDescription& TapDescription::operator=(TapDescription&&) noexcept = default;
TapDescription::~TapDescription() = default;

TapDescription TapDescription::stereoMixdown(const std::vector<AudioObjectID>& processes) {
    @autoreleasepool {
        auto impl = std::make_unique<Impl>();
        impl->object = [[CATapDescription alloc] initStereoMixdownOfProcesses:processList(processes)];
        return TapDescription(std::move(impl));
    }
}

TapDescription TapDescription::deviceStream(const std::vector<AudioObjectID>& processes, const std::string& deviceUID,
                                            unsigned long stream) {
    @autoreleasepool {
        auto impl = std::make_unique<Impl>();
        impl->object = [[CATapDescription alloc] initWithProcesses:processList(processes)
                                                      andDeviceUID:nsText(deviceUID)
                                                        withStream:static_cast<NSInteger>(stream)];
        return TapDescription(std::move(impl));
    }
}

void TapDescription::setName(const std::string& name) {
    @autoreleasepool {
        impl_->object.name = nsText(name);
    }
}

void TapDescription::setPrivate(bool isPrivate) {
    @autoreleasepool {
        [impl_->object setPrivate:isPrivate];
    }
}

void TapDescription::setMuteBehavior(long behavior) {
    @autoreleasepool {
        impl_->object.muteBehavior = static_cast<CATapMuteBehavior>(behavior);
    }
}

void TapDescription::setExclusive(bool exclusive) {
    @autoreleasepool {
        impl_->object.exclusive = exclusive;
    }
}

std::vector<AudioObjectID> TapDescription::processes() const {
    @autoreleasepool {
        std::vector<AudioObjectID> list;
        for (NSNumber* process in impl_->object.processes) {
            list.push_back(process.unsignedIntValue);
        }
        return list;
    }
}

void TapDescription::setProcesses(const std::vector<AudioObjectID>& processes) {
    @autoreleasepool {
        impl_->object.processes = processList(processes);
    }
}

std::vector<std::string> TapDescription::bundleIDs() const {
    std::vector<std::string> ids;
#if SORVANE_SDK_BUNDLE_TAPS
    if (@available(macOS 26.0, *)) {
        @autoreleasepool {
            for (NSString* id in impl_->object.bundleIDs) {
                ids.push_back(stdText(id).value_or(""));
            }
        }
    }
#endif
    return ids;
}

void TapDescription::setBundleIDs([[maybe_unused]] const std::vector<std::string>& bundleIDs) {
#if SORVANE_SDK_BUNDLE_TAPS
    if (@available(macOS 26.0, *)) {
        @autoreleasepool {
            NSMutableArray<NSString*>* list = [NSMutableArray arrayWithCapacity:bundleIDs.size()];
            for (const std::string& id : bundleIDs) {
                [list addObject:nsText(id)];
            }
            impl_->object.bundleIDs = list;
        }
    }
#endif
}

void TapDescription::setProcessRestoreEnabled([[maybe_unused]] bool enabled) {
#if SORVANE_SDK_BUNDLE_TAPS
    if (@available(macOS 26.0, *)) {
        @autoreleasepool {
            impl_->object.processRestoreEnabled = enabled;
        }
    }
#endif
}

std::string TapDescription::uuidString() const {
    @autoreleasepool {
        return stdText(impl_->object.UUID.UUIDString).value_or("");
    }
}

bool bundleTapsAvailable() {
#if SORVANE_SDK_BUNDLE_TAPS
    if (@available(macOS 26.0, *)) {
        return true;
    }
#endif
    return false;
}

OSStatus createProcessTap(const TapDescription& description, AudioObjectID* tap) {
    // The platform may autorelease what it makes of the description; none of it outlives the call.
    @autoreleasepool {
        return AudioHardwareCreateProcessTap(description.impl()->object, tap);
    }
}

OSStatus writeTapDescription(AudioObjectID tap, const TapDescription& description) {
    // The property's data is the object reference itself; the platform copies what it keeps.
    @autoreleasepool {
        CFTypeRef object = (__bridge CFTypeRef)description.impl()->object;
        const AudioObjectPropertyAddress address{kAudioTapPropertyDescription, kAudioObjectPropertyScopeGlobal,
                                                 kAudioObjectPropertyElementMain};
        return AudioObjectSetPropertyData(tap, &address, 0, nullptr, sizeof object, &object);
    }
}

OSStatus destroyProcessTap(AudioObjectID tap) {
    return AudioHardwareDestroyProcessTap(tap);
}

}  // namespace apple
