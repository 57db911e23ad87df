// The real-time path in-process: writeAll's retries through its seam, and what an IO cycle hands
// to write, the platform's buffer itself or the pair that pickPair copies out.
#include "tap/capture.h"
#include "tap/run_state.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

namespace {

// Each write takes the next step (bytes taken, or a failure and its errno), then all it is given.
struct Step {
    ssize_t result;
    int error = 0;
};
std::vector<Step> script;
std::string written;
std::vector<const void*> calls;

ssize_t scriptedWrite(int fd, const void* bytes, std::size_t count) {
    EXPECT_EQ(fd, STDOUT_FILENO);
    Step step = calls.size() < script.size() ? script[calls.size()] : Step{static_cast<ssize_t>(count)};
    calls.push_back(bytes);
    errno = step.error;
    auto n = std::min(static_cast<std::size_t>(std::max<ssize_t>(step.result, 0)), count);
    written.append(static_cast<const char*>(bytes), n);
    return step.result > 0 ? static_cast<ssize_t>(n) : step.result;
}

class Output : public ::testing::Test {
protected:
    void reset(std::vector<Step> steps, std::int64_t first = 0) {
        script = std::move(steps);
        written.clear();
        calls.clear();
        scratch.assign(tap::interleavedSamples + 2, -1);
        tap::writeCall = scriptedWrite;
        tap::interleaved = scratch.data();
        tap::firstChannel = first;
        tap::outputClosed.store(false);
    }
    void TearDown() override {
        reset({});
        tap::writeCall = ::write;
        tap::interleaved = nullptr;
    }
    std::vector<float> scratch;
};

// Short and interrupted writes go on where they stopped; other failures close the output.
TEST_F(Output, WriteAll) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::size_t calls, bytesOut;
    };
    const std::vector<Case> cases = {
        {"short writes", {{3}, {1}, {1000}}, 4, 5000},
        {"interrupted writes", {{-1, EINTR}, {10}, {-1, EINTR}, {-1, EINTR}}, 5, 5000},
        {"EPIPE at once", {{-1, EPIPE}}, 1, 0},
        {"EPIPE after a short write", {{7}, {-1, EPIPE}}, 2, 7},
        {"EBADF", {{-1, EBADF}}, 1, 0},
        {"nothing taken", {{0}}, 1, 0},
    };
    std::string text;
    while (text.size() < 5000) {
        text += static_cast<char>('a' + text.size() % 26);
    }
    for (const Case& c : cases) {
        reset(c.steps);
        tap::writeAll(text.data(), text.size());
        EXPECT_EQ(written, text.substr(0, c.bytesOut)) << c.name;
        EXPECT_EQ(calls.size(), c.calls) << c.name;
        EXPECT_EQ(tap::outputClosed.load(), c.bytesOut < text.size()) << c.name;
    }
}

// Samples are 1000 * frame + channel, a one-channel buffer counting as the channel of its index.
// Stereo at 0 goes out as the platform's buffer, whole; anything else as the pair copied into the
// scratch buffer, whole frames only and at most 16384, or not at all when the pair is not there.
TEST_F(Output, CycleWritesThePair) {
    struct Case {
        const char* name;
        std::vector<UInt32> channels;
        std::size_t frames, framesOut;
        std::int64_t first = 0;
        bool direct = false;
        UInt32 trim = 0;              // bytes cut off the first buffer
        int noData = -1;              // a buffer without data
        std::size_t rightFrames = 0;  // of the second buffer, when not `frames`
    };
    const std::vector<Case> cases = {
        {"stereo", {2}, 20000, 20000, 0, true},
        {"stereo with a partial frame", {2}, 8, 8, 0, true, 4},
        {"pair at 6 of 8", {8}, 512, 512, 6},
        {"separate buffers, pair at 1 of 3", {1, 1, 1}, 64, 64, 1},
        {"at most 16384 frames", {4}, 20000, 16384},
        {"partial frame dropped", {4}, 10, 9, 0, false, 4},
        {"unequal separate buffers stop at the shorter", {1, 1}, 100, 60, 0, false, 0, -1, 60},
        {"stereo with the pair at 1", {2}, 16, 0, 1},
        {"negative offset", {2}, 16, 0, -1},
        {"one mono buffer", {1}, 16, 0},
        {"pair past the last buffer", {1, 1, 1}, 16, 0, 2},
        {"right buffer without data", {1, 1}, 16, 0, 0, false, 0, 1},
        {"stereo without data", {2}, 16, 0, 0, false, 0, 0},
        {"no buffers", {}, 16, 0},
    };
    for (const Case& c : cases) {
        reset({}, c.first);
        std::vector<unsigned char> storage(sizeof(AudioBufferList) + c.channels.size() * sizeof(AudioBuffer));
        auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
        list->mNumberBuffers = static_cast<UInt32>(c.channels.size());
        std::vector<std::vector<float>> samples(c.channels.size());
        for (std::size_t b = 0; b < c.channels.size(); ++b) {
            for (std::size_t i = 0; i < (b == 1 && c.rightFrames ? c.rightFrames : c.frames) * c.channels[b]; ++i) {
                samples[b].push_back(static_cast<float>(1000 * (i / c.channels[b]) + i % c.channels[b] + b));
            }
            list->mBuffers[b] = {c.channels[b], static_cast<UInt32>(samples[b].size() * 4 - (b ? 0 : c.trim)),
                                 static_cast<int>(b) == c.noData ? nullptr : samples[b].data()};
        }
        EXPECT_EQ(tap::captureCycle(0, nullptr, list, nullptr, nullptr, nullptr, nullptr), 0) << c.name;
        std::vector<float> expected;
        for (std::size_t i = 0; i < c.framesOut; ++i) {
            expected.insert(expected.end(), {1000.0f * i + c.first, 1000.0f * i + c.first + 1});
        }
        std::size_t bytes = c.framesOut * 8 - (c.direct ? c.trim : 0);
        EXPECT_EQ(written, std::string(reinterpret_cast<const char*>(expected.data()), bytes)) << c.name;
        EXPECT_EQ(calls, c.framesOut == 0 ? std::vector<const void*>{}
                                          : std::vector<const void*>{c.direct ? samples[0].data() : scratch.data()})
            << c.name << ": one write, of the platform's buffer or of the scratch";
        EXPECT_EQ(scratch[2 * (c.direct ? 0 : c.framesOut)], -1) << c.name << ": nothing copied past the frames";
    }
}

}  // namespace
