// CATapDescription behind apple::TapDescription, and process-tap creation, which macOS
// declares for Objective-C only.
#include "apple.h"
#include "ns_text.h"

#import <CoreAudio/AudioHardwareTapping.h>
#import <CoreAudio/CATapDescription.h>
#import <Foundation/Foundation.h>

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
    impl_->object.name = nsText(name);
}

void TapDescription::setPrivate(bool isPrivate) {
    [impl_->object setPrivate:isPrivate];
}

void TapDescription::setMuteBehavior(long behavior) {
    impl_->object.muteBehavior = static_cast<CATapMuteBehavior>(behavior);
}

void TapDescription::setBundleIDs(const std::vector<std::string>& bundleIDs) {
    if (@available(macOS 26.0, *)) {
        NSMutableArray<NSString*>* list = [NSMutableArray arrayWithCapacity:bundleIDs.size()];
        for (const std::string& id : bundleIDs) {
            [list addObject:nsText(id)];
        }
        impl_->object.bundleIDs = list;
    }
}

void TapDescription::setProcessRestoreEnabled(bool enabled) {
    if (@available(macOS 26.0, *)) {
        impl_->object.processRestoreEnabled = enabled;
    }
}

std::string TapDescription::uuidString() const {
    @autoreleasepool {
        return stdText(impl_->object.UUID.UUIDString).value_or("");
    }
}

OSStatus createProcessTap(const TapDescription& description, AudioObjectID* tap) {
    return AudioHardwareCreateProcessTap(description.impl()->object, tap);
}

OSStatus destroyProcessTap(AudioObjectID tap) {
    return AudioHardwareDestroyProcessTap(tap);
}

}  // namespace apple
