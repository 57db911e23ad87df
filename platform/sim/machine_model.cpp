#include "sim/machine.h"

namespace sim {

UInt32 Device::channels(bool outputSide) const {
    UInt32 sum = 0;
    for (const Stream& stream : outputSide ? output : input) {
        sum += stream.channels;
    }
    return sum;
}

std::optional<OSStatus> TapBehaviour::fault(const std::string& step) const {
    const auto found = faults.find(step);
    if (found == faults.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::size_t> Machine::deviceIndex(const std::string& uid) const {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].uid == uid) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace sim
