// Hooks for tests that drive the simulated layer in-process.
#pragma once

namespace sim {

// Starts over as if the process had just begun: stops and forgets every IO procedure, aggregate
// device and tap, forgets the loaded machine and the call log, and zeroes the over-release count.
// SORVANE_MACHINE and SORVANE_MACHINE_LOG are read again on the next call. Live string
// references stay live.
void resetForTests();

// String references alive now, and releases of references that were no longer live.
long stringsAlive();
long overReleases();

// Calls `then` once, right after the next AudioObjectGetPropertyDataSize returns its answer, so a
// test can change the machine between a list's size query and its read.
void afterNextSizeQuery(void (*then)());

}  // namespace sim
