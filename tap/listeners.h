// What the platform tells the capture while it runs: a change of the tap's format, and a restart of
// the audio service. Each listener only hands the event to the main thread's one wait.
#pragma once

namespace tap {

// Adds a listener for the tap's format and one for the service's restarts. One that cannot be
// added leaves that change to be noticed by the main thread's next look.
void listen();

// Removes them; no listener runs once it has returned.
void stopListening();

}  // namespace tap
