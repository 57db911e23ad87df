// The notification thread the HAL runs inside every client process, and the property listeners it
// calls. The thread starts at the process's first platform call, so it is born with that caller's
// signal mask, and lives as long as the process. While no listener is added it sleeps for good;
// with listeners it looks at the machine file every few milliseconds.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <initializer_list>

namespace sim::notify {

// Starts the notification thread on the first call; nothing on later ones. Every platform call
// makes it.
void begin();

// Adds a listener; 'nope' when one with the same address, procedure and client data is there.
// The caller has checked the object; for a tap's 'tfmt' it gives the format it has now.
OSStatus add(AudioObjectID object, const AudioObjectPropertyAddress& address, AudioObjectPropertyListenerProc proc,
             void* client, const AudioStreamBasicDescription& format = {});

// Removes a listener and waits until a call of it in progress has returned (unless that call is
// the caller itself); 'nope' when there is no such listener.
OSStatus remove(AudioObjectID object, const AudioObjectPropertyAddress& address,
                AudioObjectPropertyListenerProc proc, void* client);

// Has the listeners of (object, each selector) called on the notification thread, soon, the
// selectors handed over together. Never waits for them.
void post(AudioObjectID object, std::initializer_list<AudioObjectPropertySelector> selectors);

// Calls the listeners of (object, selector) on the calling thread, now: the HAL sends 'over' from
// the device's IO thread, inside the cycle, and dispatches it synchronously.
void callHere(AudioObjectID object, AudioObjectPropertySelector selector);

// Forgets every listener and every posted event (tests that start over).
void forget();

}  // namespace sim::notify
