// Properties of audio process objects.
#include "sim/properties.h"

namespace sim {

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

}  // namespace sim
