#include "tap/listeners.h"

#include "shared/property.h"
#include "tap/following.h"
#include "tap/run_state.h"

namespace tap {

namespace {

constexpr AudioObjectID systemObject = kAudioObjectSystemObject;
const AudioObjectPropertyAddress formatChanged = property::address(kAudioTapPropertyFormat);
const AudioObjectPropertyAddress stoppedAbnormally = property::address(kAudioDevicePropertyIOStoppedAbnormally);
const AudioObjectPropertyAddress serviceRestarted = property::address(kAudioHardwarePropertyServiceRestarted);
const AudioObjectPropertyAddress processList = property::address(kAudioHardwarePropertyProcessObjectList);

// On the platform's notification thread: notes what happened and wakes the main thread. The
// addresses may name properties nobody signed up for.
OSStatus heard(AudioObjectID, UInt32 count, const AudioObjectPropertyAddress* changed, void*) {
    for (UInt32 i = 0; i < count; ++i) {
        if (changed[i].mSelector == kAudioHardwarePropertyServiceRestarted) {
            restarted.store(true);
        }
        if (changed[i].mSelector == kAudioDevicePropertyIOStoppedAbnormally) {
            deviceStopped.store(true);
        }
        if (changed[i].mSelector == kAudioHardwarePropertyProcessObjectList) {
            processesChanged.store(true);
        }
    }
    events->post();
    return 0;
}

struct Listener {
    const AudioObjectID& object;
    const AudioObjectPropertyAddress& address;
    bool added = false;  // main thread only
};

Listener listeners[] = {{tap, formatChanged},
                        {device, stoppedAbnormally},
                        {systemObject, serviceRestarted},
                        {systemObject, processList}};

}  // namespace

bool listen() {
    bool all = true;
    for (Listener& l : listeners) {
        if (&l.address == &processList && !follows()) {
            continue;
        }
        l.added = AudioObjectAddPropertyListener(l.object, &l.address, heard, nullptr) == 0;
        all = all && l.added;
    }
    return all;
}

void stopListening() {
    for (Listener& l : listeners) {
        if (l.added) {
            AudioObjectRemovePropertyListener(l.object, &l.address, heard, nullptr);
            l.added = false;
        }
    }
}

}  // namespace tap
