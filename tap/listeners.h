// What the platform tells the capture while it runs: a change of the tap's format, an abnormal stop
// of the tap's device, and a restart of the audio service. Each listener only hands the event to
// the main thread's one wait.
#pragma once

namespace tap {

// Adds a listener for the tap's format, one for its device's abnormal stop and one for the
// service's restarts. False when one could not be added: then the main thread looks for itself.
bool listen();

// Removes them; no listener runs once it has returned.
void stopListening();

}  // namespace tap
