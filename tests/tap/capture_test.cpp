// The real-time path in-process: writeAll's retries through its seam, and the pair that pickPair
// copies out of the platform's buffers.
#include "tap/capture.h"
#include "tap/run_state.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>
#include <unistd.h>

namespace {

// Each write takes the next step (bytes taken, never more than it is given, or minus the errno of a
// failure), then all it is given.
std::vector<ssize_t> script;
std::string written;
std::size_t calls = 0;

ssize_t scriptedWrite(int, const void* bytes, std::size_t count) {
    ssize_t step = calls < script.size() ? script[calls++] : static_cast<ssize_t>(count);
    errno = step < 0 ? static_cast<int>(-step) : 0;
    written.append(static_cast<const char*>(bytes), static_cast<std::size_t>(std::max<ssize_t>(step, 0)));
    return step < 0 ? -1 : step;
}

// Short and interrupted writes go on where they stopped; other failures close the output.
TEST(Output, WriteAll) {
    struct Case {
        const char* name;
        std::vector<ssize_t> steps;
        std::size_t bytesOut;
    };
    const std::vector<Case> cases = {
        {"short writes", {3, 1, 1000}, 5000},
        {"interrupted writes", {-EINTR, 10, -EINTR, -EINTR}, 5000},
        {"EPIPE after a short write", {7, -EPIPE}, 7},
        {"nothing taken", {0}, 0},
    };
    std::string text(5000, 0);
    std::iota(text.begin(), text.end(), 'a');
    tap::writeCall = scriptedWrite;
    for (const Case& c : cases) {
        script = c.steps;
        written.clear();
        calls = 0;
        tap::outputClosed.store(false);
        tap::writeAll(text.data(), text.size());
        EXPECT_EQ(written, text.substr(0, c.bytesOut)) << c.name;
        EXPECT_EQ(tap::outputClosed.load(), c.bytesOut < text.size()) << c.name;
    }
    tap::writeCall = ::write;
}

// 16 frames a buffer, samples 1000 * frame + channel, a one-channel buffer counting as the channel
// of its index; past the buffers the list counts lies one more, readable, that must stay unread.
// Whole frames of the pair come out, as many as the shorter buffer holds, or none when the pair
// is not there.
TEST(Output, PickPair) {
    struct Case {
        const char* name;
        std::vector<UInt32> channels;
        std::int64_t first;
        std::size_t frames;
        UInt32 trim = 0;  // bytes cut off the last buffer
        int noData = -1;  // a buffer without data
    };
    const std::vector<Case> cases = {
        {"last pair of 4, partial frame dropped", {4}, 2, 15, 4},
        {"separate buffers, last pair of 3, the shorter bounds", {1, 1, 1}, 1, 15, 4},
        {"stereo with the pair at 1", {2}, 1, 0},
        {"pair past the last buffer", {1, 1, 1}, 2, 0},
        {"right buffer without data", {1, 1}, 0, 0, 0, 1},
        {"stereo without data", {2}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const std::size_t n = c.channels.size();
        std::vector<AudioBuffer> storage(n + 2);  // room for the count ahead of the buffers
        auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
        list->mNumberBuffers = static_cast<UInt32>(n);
        std::vector<std::vector<float>> samples(n + 1);
        for (std::size_t b = 0; b <= n; ++b) {
            UInt32 channels = b < n ? c.channels[b] : 1;
            for (std::size_t i = 0; i < 16 * channels; ++i) {
                samples[b].push_back(static_cast<float>(1000 * (i / channels) + i % channels + b));
            }
            list->mBuffers[b] = {channels, 64 * channels - (b + 1 == n ? c.trim : 0),
                                 static_cast<int>(b) == c.noData ? nullptr : samples[b].data()};
        }
        std::vector<float> out(34, -1), expected(34, -1);
        for (std::size_t i = 0; i < 2 * c.frames; ++i) {
            expected[i] = static_cast<float>(1000 * (i / 2) + i % 2) + c.first;
        }
        EXPECT_EQ(tap::pickPair(list, c.first, out.data(), 16), c.frames) << c.name;
        EXPECT_EQ(out, expected) << c.name;
    }
}

}  // namespace
