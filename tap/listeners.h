// What the platform tells the capture while it runs: a change of the tap's format, an abnormal stop
// of the tap's device, a restart of the audio service, and, when the capture follows an
// application, a change of the process list. Each listener only hands the event to the main
// thread's one wait.
#pragma once

namespace tap {

// Adds a listener for the tap's format, one for its device's abnormal stop, one for the service's
// restarts and, when the capture follows processes, one for the process list. False when one could
// not be added: then the main thread looks for itself.
bool listen();

// Removes them; no listener runs once it has returned.
void stopListening();

}  // namespace tap
