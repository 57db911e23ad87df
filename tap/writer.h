// The writer thread: takes what the IO procedure put in the ring and writes it to standard output
// with plain blocking writes, several cycles at once when the reader is slow, and tells what the
// ring notes at its place: each run of lost frames, and each later rate, once every frame before
// it is out.
#pragma once

namespace tap {

// How long an end waits for the reader to take what the ring still holds.
constexpr int drainMs = 100;

// Starts the writer over `ring`. False when the thread cannot start.
bool startWriter();

// Once the "format" report is out: lets the writer write, which until now only waited.
void startWriting();

// Once the device has stopped: lets the writer write what the ring still holds, and any loss at
// its end. True when all of it was out within `timeoutMs`.
bool finishWriting(int timeoutMs);

// Once the device has stopped: the writer writes what the ring holds up to here and no more, then
// raises `streamEnded` and wakes the main thread's wait.
void endStream();

}  // namespace tap
