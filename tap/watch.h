// The main thread's watch over a capture: from the start, which may wait for sound, to a stop (a
// signal, a closed output, the host's end), with the tap's format looked at meanwhile.
#pragma once

#include "tap/format.h"

namespace tap {

// Starts the device and waits for the start to return, watching for a stop meanwhile; false when
// a stop came first. Does not return when the start fails.
bool startWatched();

// Returns once a stop is asked, the output has closed or the host has gone; meanwhile a changed
// format is reported, and one that no longer holds the pair ends the run.
void watch(Format format);

}  // namespace tap
