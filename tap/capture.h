// The real-time side: each IO cycle hands the chosen channel pair to the ring, and the writer
// thread writes what the ring holds to standard output as interleaved float32 PCM. Nothing on
// the IO thread allocates, locks, formats text or waits.
#pragma once

#include <CoreAudio/CoreAudio.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace tap {

// The IO procedure: puts this cycle's pair into the ring, behind a mark of the tap's rate when
// the main thread has announced a new one, counts what the platform skipped before it (a jump of
// the input time) and what found no room as lost, and wakes the writer.
// Uses only the input; always returns 0.
OSStatus captureCycle(AudioObjectID device, const AudioTimeStamp* now, const AudioBufferList* input,
                      const AudioTimeStamp* inputTime, AudioBufferList* output, const AudioTimeStamp* outputTime,
                      void* clientData);

// Copies up to `capacity` frames of channels first and first + 1 into `out` as interleaved
// pairs, from one interleaved buffer or from one buffer per channel; the frames copied, 0 when
// the pair is not there.
std::size_t pickPair(const AudioBufferList* buffers, std::int64_t first, float* out, std::size_t capacity);

// Writes all `count` bytes to standard output with plain blocking writes, retrying short and
// interrupted ones; raises `outputClosed` and drops the rest when the output cannot be written.
void writeAll(const void* bytes, std::size_t count);

// The write system call that writeAll makes; a test may replace it before capture starts.
using WriteCall = ssize_t (*)(int fd, const void* bytes, std::size_t count);
extern WriteCall writeCall;

}  // namespace tap
