// Process taps: their description, what one reports and what it hears from the machine as it
// stands. On macOS the description is an Objective-C object and the two C functions are declared
// for Objective-C only; here the description is a plain record.
#pragma once

#include "sim/call_log.h"
#include "sim/cf_objects.h"
#include "sim/machine.h"

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct TapFields {
    std::vector<AudioObjectID> processes;
    bool mixdown = true;         // stereo mixdown; else one output stream of `deviceUID`
    bool exclusive = false;      // tap every process except `processes`
    std::string deviceUID;
    unsigned long stream = 0;
    std::string name;
    bool isPrivate = false;
    long muteBehavior = 0;
    std::vector<std::string> bundleIDs;
    bool processRestoreEnabled = false;
    std::string uuid;            // upper-case 8-4-4-4-12
};

}  // namespace sim

// An object with a reference count, as on a Mac, so that the one a 'tdsc' read hands out is
// released by the caller with CFRelease; copies are new objects with the same fields.
struct CATapDescription : sim::cf::Object, sim::TapFields {
    CATapDescription() : Object(sim::cf::Kind::tapDescription) {}
    CATapDescription(const CATapDescription& other) : Object(sim::cf::Kind::tapDescription), TapFields(other) {}
    CATapDescription& operator=(const CATapDescription& other) {
        static_cast<TapFields&>(*this) = other;
        return *this;
    }
};

extern "C" {
OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID);
OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);
}

namespace sim {

// 'tfmt' at IO cycle `cycle`: the rate of the tapped device (a device-stream tap) or of the default
// output device (a mixdown), 48000 without one, unless the machine's rate changes say otherwise from
// an earlier cycle on; sample format and channel count from the machine's tap behaviour.
AudioStreamBasicDescription tapFormat(const Machine& machine, const CATapDescription& tap, std::uint64_t cycle = 0);

// The processes a tap hears and where its channels sit among theirs.
struct TapSignal {
    std::vector<double> levels;  // of the tapped processes that are playing
    UInt32 firstChannel = 0;     // process channel of the tap's channel 0
    UInt32 channels = 0;
};

TapSignal tapSignal(const Machine& machine, const CATapDescription& tap);

// The description as a call log line shows it.
log::Entry describe(const CATapDescription& tap);

struct State;
// 'tdsc' written: the tap hears what the new description says from the next IO cycle of every
// started device that holds it. The status of the write. Hold the state's mutex.
OSStatus writeDescription(State& state, AudioObjectID tap, const void* data, UInt32 size);

// The IO cycle that a started aggregate device holding the tap is at; 0 before any starts. Hold
// the state's mutex.
std::uint64_t tapCycle(const State& state, AudioObjectID tap);

}  // namespace sim
