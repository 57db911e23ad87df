// Properties of process taps and of aggregate devices.
#include "sim/properties.h"
#include "sim/state.h"
#include "sim/taps.h"

namespace sim {

bool tapHas(const AudioObjectPropertyAddress& a) {
    return a.mSelector == kAudioTapPropertyFormat;
}

Reply tapRead(const Machine& m, const CATapDescription& tap, const AudioObjectPropertyAddress& a) {
    if (a.mSelector != kAudioTapPropertyFormat) return failed(kAudioHardwareUnknownPropertyError);
    return plain(tapFormat(m, tap));
}

bool aggregateHas(const AudioObjectPropertyAddress& a) {
    return a.mSelector == kAudioDevicePropertyDeviceUID || a.mSelector == kAudioObjectPropertyName;
}

Reply aggregateRead(const Aggregate& aggregate, const AudioObjectPropertyAddress& a) {
    switch (a.mSelector) {
        case kAudioDevicePropertyDeviceUID:
            return stringReply(aggregate.uid);
        case kAudioObjectPropertyName:
            return stringReply(aggregate.name);
        default:
            return failed(kAudioHardwareUnknownPropertyError);
    }
}

}  // namespace sim
