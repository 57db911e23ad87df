// The main thread's watch over a capture: from the start, which may wait for sound, to a stop (a
// signal, a closed output, the host's end). It sleeps in one wait for all of them and for what the
// listeners hand over.
#pragma once

#include "tap/format.h"

namespace tap {

// Starts the device on a thread of its own and waits for the start to return. A stop that comes
// first ends the process at once with status 0; a failed start ends it with the error.
void startWatched();

// Returns once a stop is asked, the output has closed or the host has gone; meanwhile a changed
// format is reported, one that no longer holds the pair ends the run, and so does a restart of
// the audio service.
void watch(Format reported);

}  // namespace tap
