#include "tap/processes.h"

#include "apple.h"
#include "shared/property.h"
#include "shared/report.h"
#include "tap/run_state.h"
#include "tap/streams.h"

#include <unistd.h>

namespace tap {

namespace {

json::Object record(const AudioProcess& process) {
    auto app = apple::runningApplication(process.pid);
    json::Array outputs;
    json::Array outputDevices;
    for (AudioObjectID device : process.devices) {
        std::int64_t channels = 0;
        for (auto count : streamChannels(device)) {
            channels += count.value_or(0);
        }
        auto name = property::readString(device, kAudioObjectPropertyName);
        json::Object entry;
        entry["uid"] = property::readString(device, kAudioDevicePropertyDeviceUID).value_or("");
        entry["name"] = name.value_or("");
        entry["channels"] = static_cast<long long>(channels);
        outputDevices.emplace_back(std::move(entry));
        // A device without a readable name stays in "outputDevices" but not in "outputs".
        if (name) {
            outputs.push_back(*name);
        }
    }
    json::Object result;
    result["pid"] = process.pid;
    result["bundleId"] = process.bundleID;
    result["name"] = app && app->localizedName ? *app->localizedName : process.bundleID;
    result["playing"] = process.playing;
    result["outputs"] = std::move(outputs);
    result["app"] = app.has_value() && app->activationPolicy == 0;
    result["outputDevices"] = std::move(outputDevices);
    return result;
}

}  // namespace

std::vector<AudioProcess> audioProcesses() {
    std::vector<AudioProcess> processes;
    for (AudioObjectID object : property::readObjects(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList)) {
        AudioProcess process;
        process.object = object;
        process.pid = property::read(object, property::address(kAudioProcessPropertyPID), pid_t{0}).value_or(0);
        // Having talked to the audio system, this program is one of its processes too.
        if (process.pid == getpid()) {
            continue;
        }
        process.bundleID = property::readString(object, kAudioProcessPropertyBundleID).value_or("");
        process.playing =
            property::read(object, property::address(kAudioProcessPropertyIsRunningOutput), UInt32{0}).value_or(0) != 0;
        process.devices = property::readObjects(object, kAudioProcessPropertyDevices, property::output);
        processes.push_back(std::move(process));
    }
    return processes;
}

std::vector<AudioProcess> processesOf(const std::string& bundle) {
    std::vector<AudioProcess> found;
    for (AudioProcess& process : audioProcesses()) {
        // Browsers and most multi-process applications play from helpers nested under their identifier.
        if (partOf(process.bundleID, bundle) && !ours(process.bundleID)) {
            found.push_back(std::move(process));
        }
    }
    return found;
}

bool partOf(const std::string& id, const std::string& bundle) {
    return id == bundle ||
           (id.size() > bundle.size() && id.compare(0, bundle.size(), bundle) == 0 && id[bundle.size()] == '.');
}

bool ours(const std::string& id) {
    return !ownBundleID.empty() && partOf(id, ownBundleID);
}

void listProcesses() {
    for (const AudioProcess& process : audioProcesses()) {
        if (!ours(process.bundleID)) {
            report::say(record(process), STDOUT_FILENO);
        }
    }
}

}  // namespace tap
