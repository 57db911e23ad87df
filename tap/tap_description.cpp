#include "tap/tap_description.h"

#include "shared/property.h"
#include "shared/report.h"
#include "tap/following.h"
#include "tap/processes.h"
#include "tap/run_state.h"
#include "tap/streams.h"

#include <string>
#include <unistd.h>
#include <utility>

namespace tap {

namespace {

apple::TapDescription tapOrMixdown(const std::vector<AudioObjectID>& objects) {
    if (auto stream = deviceTap(objects)) {
        return std::move(*stream);
    }
    return apple::TapDescription::stereoMixdown(objects);
}

apple::TapDescription bundleTap(const std::string& id) {
    if (ours(id)) {
        report::failWithStatus("that's Sorvane itself");
    }
    // From macOS 26 the platform follows the bundle itself, so the app need not be sounding yet.
    if (!namesProcesses()) {
        auto description = apple::TapDescription::stereoMixdown({});
        description.setBundleIDs(bundleIdentifiersOf(id));
        description.setProcessRestoreEnabled(true);
        return description;
    }
    std::vector<AudioObjectID> objects;
    for (const AudioProcess& process : processesOf(id)) {
        objects.push_back(process.object);
    }
    if (objects.empty()) {
        report::failWithStatus(id + " isn't using audio; start it playing, then connect");
    }
    return tapOrMixdown(objects);
}

// The process object of a process id ('id2p'): the call's status, and 0 for an unknown id.
std::pair<OSStatus, AudioObjectID> translatePID(std::int32_t pid) {
    AudioObjectID object = kAudioObjectUnknown;
    UInt32 size = sizeof object;
    auto where = property::address(kAudioHardwarePropertyTranslatePIDToProcessObject);
    OSStatus result = AudioObjectGetPropertyData(kAudioObjectSystemObject, &where, sizeof pid, &pid, &size, &object);
    return {result, object};
}

apple::TapDescription pidTap() {
    std::vector<AudioObjectID> objects;
    for (std::int32_t pid : pids) {
        auto [result, object] = translatePID(pid);
        if (result != 0 || object == kAudioObjectUnknown) {
            report::failWithStatus("process " + std::to_string(pid) + " isn't using audio", result);
        }
        if (pid == getpid() || ours(property::readString(object, kAudioProcessPropertyBundleID).value_or(""))) {
            report::failWithStatus("not a process to tap");
        }
        objects.push_back(object);
    }
    return tapOrMixdown(objects);
}

}  // namespace

std::optional<apple::TapDescription> deviceTap(const std::vector<AudioObjectID>& objects) {
    if (!deviceUID) {
        return std::nullopt;
    }
    StreamPick pick = masterStream(*deviceUID);
    firstChannel = pick.first;
    return apple::TapDescription::deviceStream(objects, *deviceUID, pick.stream);
}

apple::TapDescription tapDescription() {
    return bundleID ? bundleTap(*bundleID) : pidTap();
}

}  // namespace tap
