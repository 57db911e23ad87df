#include "tap/listeners.h"

#include "shared/property.h"
#include "tap/run_state.h"

namespace tap {

namespace {

const AudioObjectPropertyAddress formatChanged = property::address(kAudioTapPropertyFormat);
const AudioObjectPropertyAddress serviceRestarted = property::address(kAudioHardwarePropertyServiceRestarted);

// On the platform's notification thread: notes what happened and wakes the main thread.
OSStatus heard(AudioObjectID, UInt32 count, const AudioObjectPropertyAddress* changed, void*) {
    for (UInt32 i = 0; i < count; ++i) {
        if (changed[i].mSelector == kAudioHardwarePropertyServiceRestarted) {
            restarted.store(true);
        }
    }
    events->post();
    return 0;
}

}  // namespace

void listen() {
    AudioObjectAddPropertyListener(tap, &formatChanged, heard, nullptr);
    AudioObjectAddPropertyListener(kAudioObjectSystemObject, &serviceRestarted, heard, nullptr);
}

void stopListening() {
    AudioObjectRemovePropertyListener(tap, &formatChanged, heard, nullptr);
    AudioObjectRemovePropertyListener(kAudioObjectSystemObject, &serviceRestarted, heard, nullptr);
}

}  // namespace tap
