// The main thread's watch over a capture: from the start, which may wait for sound, to a stop (a
// signal, a closed output, the host's end). It sleeps in one wait for all of them and for what the
// listeners hand over.
#pragma once

#include "tap/format.h"

namespace tap {

// Starts the device on a thread of its own and waits for the start to return. A stop that comes
// first ends the process at once with status 0, a restart of the audio service with its error; a
// failed start ends it with the error. Without `listening`, looks at the tap every 100 ms.
void startWatched(bool listening);

// Returns once a stop is asked, the output has closed or the host has gone. Meanwhile a new rate
// is handed to the stream at its place; a format that no longer is Float32 or holds the pair, and
// an abnormal stop of the device, end the run with their error once the frames before them are
// out; a restart of the audio service ends it at once. Without `listening`, looks every 100 ms.
void watch(Format reported, bool listening);

}  // namespace tap
