// What a process tap reports and hears, from the machine as it stands.
#pragma once

#include "sim/machine.h"
#include "sim/tapping.h"

#include <vector>

namespace sim {

// 'tfmt': the rate of the tapped device (a device-stream tap) or of the default output device (a
// mixdown), 48000 without one; sample format and channel count from the machine's tap behaviour.
AudioStreamBasicDescription tapFormat(const Machine& machine, const CATapDescription& tap);

// The processes a tap hears and where its channels sit among theirs.
struct TapSignal {
    std::vector<double> levels;  // of the tapped processes that are playing
    UInt32 firstChannel = 0;     // process channel of the tap's channel 0
    UInt32 channels = 0;
};

TapSignal tapSignal(const Machine& machine, const CATapDescription& tap);

}  // namespace sim
