// Process taps. On macOS the description is an Objective-C object and these two functions are
// declared for Objective-C only; here the description is a plain record.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <string>
#include <vector>

struct CATapDescription {
    std::vector<AudioObjectID> processes;
    bool mixdown = true;         // stereo mixdown; else one output stream of `deviceUID`
    std::string deviceUID;
    unsigned long stream = 0;
    std::string name;
    bool isPrivate = false;
    long muteBehavior = 0;
    std::vector<std::string> bundleIDs;
    bool processRestoreEnabled = false;
    std::string uuid;            // upper-case 8-4-4-4-12
};

extern "C" {
OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID);
OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);
}
