#include "tap/capture.h"

#include "tap/run_state.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace tap {

WriteCall writeCall = ::write;

namespace {

// Two channels into one interleaved run. The platform's buffers never overlap the ring, and
// blocks of four frames with a fixed inner count become vector unpacks at -O2.
void interleave(const float* __restrict left, const float* __restrict right, float* __restrict out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (std::size_t k = i; k < i + 4; ++k) {
            out[2 * k] = left[k];
            out[2 * k + 1] = right[k];
        }
    }
    for (; i < n; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
}

bool oneInterleavedBuffer(const AudioBufferList* buffers) {
    return buffers->mNumberBuffers == 1 && buffers->mBuffers[0].mData != nullptr;
}

// Whole frames of the pair this cycle: one interleaved buffer or a buffer per channel, the
// shorter of the two bounding; 0 when the pair is not there.
std::size_t pairFrames(const AudioBufferList* buffers, std::int64_t first) {
    if (buffers == nullptr || first < 0) {
        return 0;
    }
    const auto pair = static_cast<std::uint64_t>(first);
    const AudioBuffer* list = buffers->mBuffers;
    if (oneInterleavedBuffer(buffers)) {
        const std::uint64_t channels = list[0].mNumberChannels;
        return channels < pair + 2 ? 0 : list[0].mDataByteSize / (channels * sizeof(float));
    }
    if (buffers->mNumberBuffers < pair + 2 || list[pair].mData == nullptr || list[pair + 1].mData == nullptr) {
        return 0;
    }
    const UInt32 bytes = list[pair].mDataByteSize < list[pair + 1].mDataByteSize ? list[pair].mDataByteSize
                                                                                 : list[pair + 1].mDataByteSize;
    return bytes / sizeof(float);
}

// Frames [from, from + count) of the pair into `out`; `pairFrames` has said they are there.
void copyPair(const AudioBufferList* buffers, std::int64_t first, std::size_t from, std::size_t count, float* out) {
    const auto pair = static_cast<std::size_t>(first);
    const AudioBuffer* list = buffers->mBuffers;
    if (oneInterleavedBuffer(buffers)) {
        const std::size_t channels = list[0].mNumberChannels;
        const float* in = static_cast<const float*>(list[0].mData) + from * channels + pair;
        if (channels == 2) {
            // The common stereo case: the platform's frames already are the stream's.
            std::memcpy(out, in, count * 2 * sizeof(float));
            return;
        }
        for (std::size_t i = 0; i < count; ++i, in += channels) {
            // The pair is adjacent in the frame: one 8-byte move instead of two 4-byte ones.
            std::memcpy(out + 2 * i, in, 2 * sizeof(float));
        }
        return;
    }
    interleave(static_cast<const float*>(list[pair].mData) + from, static_cast<const float*>(list[pair + 1].mData) + from,
               out, count);
}

// Frames in the cycle, whatever the pair: what the input time moves on by.
std::uint64_t cycleFrames(const AudioBufferList* buffers) {
    if (buffers->mNumberBuffers == 0) {
        return 0;
    }
    const AudioBuffer& buffer = buffers->mBuffers[0];
    const UInt32 channels = buffers->mNumberBuffers == 1 && buffer.mNumberChannels > 0 ? buffer.mNumberChannels : 1;
    return buffer.mDataByteSize / (channels * sizeof(float));
}

// The input time the next cycle should bring, when one has been seen. The IO thread's own.
bool timeSeen = false;
double nextSampleTime = 0;

// Frames the platform skipped before this cycle: its input time past the one expected.
std::uint64_t skippedBefore(const AudioTimeStamp* inputTime, std::uint64_t frames) {
    if (inputTime == nullptr || (inputTime->mFlags & kAudioTimeStampSampleTimeValid) == 0) {
        return 0;
    }
    const double expected = nextSampleTime;
    const bool seen = timeSeen;
    timeSeen = true;
    nextSampleTime = inputTime->mSampleTime + static_cast<double>(frames);
    const double jump = inputTime->mSampleTime - expected;
    return seen && jump >= 0.5 ? static_cast<std::uint64_t>(std::llround(jump)) : 0;
}

}  // namespace

std::size_t pickPair(const AudioBufferList* buffers, std::int64_t first, float* out, std::size_t capacity) {
    const std::size_t frames = pairFrames(buffers, first);
    const std::size_t n = frames < capacity ? frames : capacity;
    if (n > 0) {
        copyPair(buffers, first, 0, n, out);
    }
    return n;
}

void writeAll(const void* bytes, std::size_t count) {
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t n = writeCall(STDOUT_FILENO, next, count);
        if (n > 0) {
            next += n;
            count -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            outputClosed.store(true);
            return;
        }
    }
}

OSStatus captureCycle(AudioObjectID, const AudioTimeStamp*, const AudioBufferList* input,
                      const AudioTimeStamp* inputTime, AudioBufferList*, const AudioTimeStamp*, void*) {
    if (input == nullptr) {
        return 0;
    }
    const std::uint64_t frames = cycleFrames(input);
    ring->lose(skippedBefore(inputTime, frames));
    const std::size_t pair = pairFrames(input, firstChannel);
    // A new rate is marked before the first frames that may carry it.
    const std::size_t room = ring->followRate() ? ring->room() : 0;
    const std::size_t taken = pair < room ? pair : room;
    for (std::size_t done = 0; done < taken;) {
        std::size_t run = 0;
        float* out = ring->slot(done, run);
        const std::size_t piece = taken - done < run ? taken - done : run;
        copyPair(input, firstChannel, done, piece, out);
        done += piece;
    }
    ring->commit(taken);
    // What the ring had no room for, and a cycle whose pair is not there, never reach the stream.
    ring->lose(std::max<std::uint64_t>(frames, pair) - taken);
    writerWake->wake();
    return 0;
}

}  // namespace tap
