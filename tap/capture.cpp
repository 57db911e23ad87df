#include "tap/capture.h"

#include "tap/run_state.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace tap {

WriteCall writeCall = ::write;

namespace {

// How long a cycle waits for room in the output before it looks for a stop again.
constexpr int roomWaitMs = 5;

// Two channels into one interleaved run. The platform's buffers never overlap our scratch buffer,
// and blocks of four frames with a fixed inner count become vector unpacks at -O2.
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

}  // namespace

std::size_t pickPair(const AudioBufferList* buffers, std::int64_t first, float* out, std::size_t capacity) {
    if (buffers == nullptr || first < 0) {
        return 0;
    }
    const auto pair = static_cast<std::uint64_t>(first);
    const AudioBuffer* list = buffers->mBuffers;
    if (buffers->mNumberBuffers == 1 && list[0].mData != nullptr) {
        const std::uint64_t channels = list[0].mNumberChannels;
        if (channels < pair + 2) {
            return 0;
        }
        std::size_t frames = list[0].mDataByteSize / (channels * sizeof(float));
        std::size_t n = frames < capacity ? frames : capacity;
        const float* in = static_cast<const float*>(list[0].mData) + pair;
        for (std::size_t i = 0; i < n; ++i, in += channels) {
            // The pair is adjacent in the frame: one 8-byte move instead of two 4-byte ones.
            std::memcpy(out + 2 * i, in, 2 * sizeof(float));
        }
        return n;
    }
    if (buffers->mNumberBuffers < pair + 2) {
        return 0;
    }
    const AudioBuffer& left = list[pair];
    const AudioBuffer& right = list[pair + 1];
    if (left.mData == nullptr || right.mData == nullptr) {
        return 0;
    }
    // Both buffers come with one length; the shorter one bounds the copy should they not.
    std::size_t bytes = left.mDataByteSize < right.mDataByteSize ? left.mDataByteSize : right.mDataByteSize;
    std::size_t frames = bytes / sizeof(float);
    std::size_t n = frames < capacity ? frames : capacity;
    interleave(static_cast<const float*>(left.mData), static_cast<const float*>(right.mData), out, n);
    return n;
}

void writeAll(const void* bytes, std::size_t count) {
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        // A blocked write could not be called off: wait for room a little at a time, looking for a
        // stop in between; then at most PIPE_BUF bytes, which a pipe with room takes at once and
        // whole, so what is written stays whole frames.
        if (stopAsked()) {
            return;
        }
        pollfd out{STDOUT_FILENO, POLLOUT, 0};
        int ready = ::poll(&out, 1, roomWaitMs);
        if (ready == 0 || (ready < 0 && errno == EINTR)) {
            continue;
        }
        ssize_t n = writeCall(STDOUT_FILENO, next, count < std::size_t{PIPE_BUF} ? count : std::size_t{PIPE_BUF});
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

OSStatus captureCycle(AudioObjectID, const AudioTimeStamp*, const AudioBufferList* input, const AudioTimeStamp*,
                      AudioBufferList*, const AudioTimeStamp*, void*) {
    if (input == nullptr) {
        return 0;
    }
    if (input->mNumberBuffers == 1) {
        const AudioBuffer& only = input->mBuffers[0];
        if (only.mNumberChannels == 2 && firstChannel == 0 && only.mData != nullptr) {
            // The common stereo case: the platform's buffer already is the stream, so no copy.
            writeAll(only.mData, only.mDataByteSize);
            return 0;
        }
    }
    std::size_t frames = pickPair(input, firstChannel, interleaved, interleavedFrames);
    if (frames > 0) {
        writeAll(interleaved, frames * 2 * sizeof(float));
    }
    return 0;
}

}  // namespace tap
