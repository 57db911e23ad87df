// The real-time side: each IO cycle writes the chosen channel pair to standard output as
// interleaved float32 PCM. Nothing here allocates, locks or formats text.
#pragma once

#include <CoreAudio/CoreAudio.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace tap {

// The IO procedure: writes this cycle's pair (the platform's buffer itself when it is exactly
// the pair) to standard output. Uses only the input; always returns 0.
OSStatus captureCycle(AudioObjectID device, const AudioTimeStamp* now, const AudioBufferList* input,
                      const AudioTimeStamp* inputTime, AudioBufferList* output, const AudioTimeStamp* outputTime,
                      void* clientData);

// Copies up to `capacity` frames of channels first and first + 1 into `out` as interleaved
// pairs, from one interleaved buffer or from one buffer per channel; the frames copied, 0 when
// the pair is not there.
std::size_t pickPair(const AudioBufferList* buffers, std::int64_t first, float* out, std::size_t capacity);

// Writes all `count` bytes to standard output, retrying short and interrupted writes, and waiting
// for a slow reader for as long as no stop is asked; raises `outputClosed` and drops the rest when
// the output cannot be written, and drops the rest once a stop is asked (`stopAsked`).
void writeAll(const void* bytes, std::size_t count);

// The write system call that writeAll makes; a test may replace it before capture starts.
using WriteCall = ssize_t (*)(int fd, const void* bytes, std::size_t count);
extern WriteCall writeCall;

}  // namespace tap
