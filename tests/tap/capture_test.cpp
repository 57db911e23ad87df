// The real-time path in-process: pickPair's copying, writeAll's retries, and which bytes an IO
// cycle hands to write.
#include "tap/capture.h"
#include "tap/run_state.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// An AudioBufferList with room for `count` buffers.
struct Buffers {
    explicit Buffers(std::size_t count)
        : storage(sizeof(AudioBufferList) + (count > 0 ? count - 1 : 0) * sizeof(AudioBuffer)) {
        list()->mNumberBuffers = static_cast<UInt32>(count);
    }
    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(storage.data()); }
    void set(std::size_t index, UInt32 channels, std::vector<float>& data) {
        list()->mBuffers[index] = {channels, static_cast<UInt32>(data.size() * sizeof(float)), data.data()};
    }
    std::vector<unsigned char> storage;
};

// Sample values that tell channel and frame apart: 1000 * frame + channel.
std::vector<float> frames(std::size_t count, std::size_t channels) {
    std::vector<float> data(count * channels);
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t c = 0; c < channels; ++c) {
            data[i * channels + c] = static_cast<float>(1000 * i + c);
        }
    }
    return data;
}

std::vector<float> channel(std::size_t count, float base) {
    std::vector<float> data(count);
    for (std::size_t i = 0; i < count; ++i) {
        data[i] = base + static_cast<float>(i);
    }
    return data;
}

TEST(PickPair, InterleavedTakesTheTwoChannelsAtFirst) {
    auto input = frames(512, 8);
    Buffers buffers(1);
    buffers.set(0, 8, input);
    std::vector<float> out(2 * 16384, -1);
    ASSERT_EQ(tap::pickPair(buffers.list(), 6, out.data(), 16384), 512u);
    for (std::size_t i = 0; i < 512; ++i) {
        ASSERT_EQ(out[2 * i], 1000.0f * i + 6) << "frame " << i;
        ASSERT_EQ(out[2 * i + 1], 1000.0f * i + 7) << "frame " << i;
    }
    EXPECT_EQ(out[1024], -1) << "nothing written past the frames";
}

TEST(PickPair, SeparateBuffersAlternateLeftAndRight) {
    auto left = channel(512, 0.5f);
    auto right = channel(512, 9000.5f);
    Buffers buffers(2);
    buffers.set(0, 1, left);
    buffers.set(1, 1, right);
    std::vector<float> out(2 * 512);
    ASSERT_EQ(tap::pickPair(buffers.list(), 0, out.data(), 16384), 512u);
    for (std::size_t i = 0; i < 512; ++i) {
        ASSERT_EQ(out[2 * i], left[i]);
        ASSERT_EQ(out[2 * i + 1], right[i]);
    }
}

TEST(PickPair, CapacityBoundsTheCopy) {
    auto input = frames(20000, 4);
    Buffers buffers(1);
    buffers.set(0, 4, input);
    std::vector<float> out(2 * 16384 + 2, -1);
    ASSERT_EQ(tap::pickPair(buffers.list(), 0, out.data(), 16384), 16384u);
    EXPECT_EQ(out[2 * 16383], 1000.0f * 16383);
    EXPECT_EQ(out[2 * 16384], -1);
}

TEST(PickPair, TrailingPartialFrameIsDropped) {
    auto input = frames(10, 4);
    Buffers buffers(1);
    buffers.set(0, 4, input);
    buffers.list()->mBuffers[0].mDataByteSize -= 4;  // 9 frames and three samples
    std::vector<float> out(2 * 10);
    EXPECT_EQ(tap::pickPair(buffers.list(), 0, out.data(), 16384), 9u);
}

TEST(PickPair, UnequalSeparateBuffersStopAtTheShorter) {
    auto left = channel(100, 0);
    auto right = channel(60, 500);
    Buffers buffers(2);
    buffers.set(0, 1, left);
    buffers.set(1, 1, right);
    std::vector<float> out(2 * 100);
    EXPECT_EQ(tap::pickPair(buffers.list(), 0, out.data(), 16384), 60u);
}

// Every way the pair can be missing writes nothing.
TEST(PickPair, NothingWhenThePairIsNotThere) {
    auto two = frames(16, 2);
    auto one = channel(16, 0);
    std::vector<float> out(64);

    Buffers interleavedTwo(1);
    interleavedTwo.set(0, 2, two);
    EXPECT_EQ(tap::pickPair(interleavedTwo.list(), 1, out.data(), 16384), 0u) << "pair at 1 of 2 channels";
    EXPECT_EQ(tap::pickPair(interleavedTwo.list(), -1, out.data(), 16384), 0u) << "negative offset";

    Buffers singleMono(1);
    singleMono.set(0, 1, one);
    EXPECT_EQ(tap::pickPair(singleMono.list(), 0, out.data(), 16384), 0u) << "one mono buffer";

    Buffers threeBuffers(3);
    threeBuffers.set(0, 1, one);
    threeBuffers.set(1, 1, one);
    threeBuffers.set(2, 1, one);
    EXPECT_EQ(tap::pickPair(threeBuffers.list(), 2, out.data(), 16384), 0u) << "pair past the last buffer";

    Buffers missingRight(2);
    missingRight.set(0, 1, one);
    missingRight.set(1, 1, one);
    missingRight.list()->mBuffers[1].mData = nullptr;
    EXPECT_EQ(tap::pickPair(missingRight.list(), 0, out.data(), 16384), 0u) << "right buffer without data";

    Buffers noData(1);
    noData.set(0, 2, two);
    noData.list()->mBuffers[0].mData = nullptr;
    EXPECT_EQ(tap::pickPair(noData.list(), 0, out.data(), 16384), 0u) << "single buffer without data";

    Buffers none(0);
    EXPECT_EQ(tap::pickPair(none.list(), 0, out.data(), 16384), 0u) << "no buffers";
}

// A scripted write: each call takes the next step; bytes that "went out" are kept.
struct Step {
    ssize_t result;  // > 0: bytes taken (at most what was asked), else the failure
    int error = 0;
};
std::vector<Step> script;
std::size_t nextStep = 0;
std::string written;
struct Call {
    const void* bytes;
    std::size_t count;
};
std::vector<Call> calls;

ssize_t scriptedWrite(int fd, const void* bytes, std::size_t count) {
    EXPECT_EQ(fd, STDOUT_FILENO);
    calls.push_back({bytes, count});
    Step step = nextStep < script.size() ? script[nextStep++] : Step{static_cast<ssize_t>(count)};
    if (step.result > 0) {
        auto n = std::min(static_cast<std::size_t>(step.result), count);
        written.append(static_cast<const char*>(bytes), n);
        return static_cast<ssize_t>(n);
    }
    errno = step.error;
    return step.result;
}

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        script.clear();
        nextStep = 0;
        written.clear();
        calls.clear();
        tap::writeCall = scriptedWrite;
        tap::outputClosed.store(false);
        tap::firstChannel = 0;
        tap::interleaved = scratch.data();
    }
    void TearDown() override {
        tap::writeCall = ::write;
        tap::interleaved = nullptr;
        tap::firstChannel = 0;
        tap::outputClosed.store(false);
    }
    std::vector<float> scratch = std::vector<float>(tap::interleavedSamples);
};

std::string bytesOf(const std::vector<float>& data) {
    return std::string(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(float));
}

TEST_F(Output, ShortWritesAreContinued) {
    script = {{3}, {1}, {1000}};
    std::string text(5000, 'x');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>('a' + i % 26);
    }
    tap::writeAll(text.data(), text.size());
    EXPECT_EQ(written, text);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].count, text.size() - 3) << "the remainder, from where the last write stopped";
    EXPECT_FALSE(tap::outputClosed.load());
}

TEST_F(Output, InterruptedWritesAreRetried) {
    script = {{-1, EINTR}, {10}, {-1, EINTR}, {-1, EINTR}};
    std::string text(64, 'q');
    tap::writeAll(text.data(), text.size());
    EXPECT_EQ(written, text);
    EXPECT_EQ(calls.size(), 5u);
    EXPECT_FALSE(tap::outputClosed.load());
}

// Any failure but EINTR, and a write that takes nothing, closes the output and drops the rest.
TEST_F(Output, FailuresCloseTheOutput) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::size_t bytesOut;
    };
    const std::vector<Case> cases = {
        {"EPIPE at once", {{-1, EPIPE}}, 0},
        {"EPIPE after a short write", {{7}, {-1, EPIPE}}, 7},
        {"EBADF", {{-1, EBADF}}, 0},
        {"nothing taken", {{0}}, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        script = c.steps;
        std::string text(100, 'z');
        tap::writeAll(text.data(), text.size());
        EXPECT_TRUE(tap::outputClosed.load()) << c.name;
        EXPECT_EQ(written.size(), c.bytesOut) << c.name;
        EXPECT_EQ(calls.size(), c.steps.size()) << c.name << ": no retry after the failure";
    }
}

// The real system call: a pipe whose reader is gone answers EPIPE, which closes the output
// instead of killing the process.
TEST(WriteAll, ClosedPipeOnStandardOutput) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    int saved = dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);

    tap::outputClosed.store(false);
    tap::writeAll("pcm", 3);
    bool closed = tap::outputClosed.load();

    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::signal(SIGPIPE, previous);
    tap::outputClosed.store(false);
    EXPECT_TRUE(closed);
}

// The stereo case hands the platform's own buffer to write, whole and without a frame limit.
TEST_F(Output, DirectPathWritesThePlatformBufferItself) {
    auto input = frames(20000, 2);
    Buffers buffers(1);
    buffers.set(0, 2, input);
    EXPECT_EQ(tap::captureCycle(0, nullptr, buffers.list(), nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].bytes, input.data());
    EXPECT_EQ(calls[0].count, input.size() * sizeof(float));
    EXPECT_EQ(written, bytesOf(input));
}

TEST_F(Output, DirectPathKeepsATrailingPartialFrame) {
    auto input = frames(8, 2);
    Buffers buffers(1);
    buffers.set(0, 2, input);
    buffers.list()->mBuffers[0].mDataByteSize -= 4;
    tap::captureCycle(0, nullptr, buffers.list(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(written.size(), 8 * 8 - 4u);
}

TEST_F(Output, CopyingPathWritesTheScratchBuffer) {
    auto input = frames(512, 8);
    Buffers buffers(1);
    buffers.set(0, 8, input);
    tap::firstChannel = 6;
    EXPECT_EQ(tap::captureCycle(0, nullptr, buffers.list(), nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].bytes, tap::interleaved);
    ASSERT_EQ(written.size(), 4096u);
    std::vector<float> got(1024);
    std::memcpy(got.data(), written.data(), written.size());
    EXPECT_EQ(got[0], 6);
    EXPECT_EQ(got[1], 7);
    EXPECT_EQ(got[1022], 511006);
    EXPECT_EQ(got[1023], 511007);
}

TEST_F(Output, StereoBufferWithThePairAtOneWritesNothing) {
    auto input = frames(512, 2);
    Buffers buffers(1);
    buffers.set(0, 2, input);
    tap::firstChannel = 1;
    EXPECT_EQ(tap::captureCycle(0, nullptr, buffers.list(), nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Output, CycleAfterTheOutputClosedStillTries) {
    auto input = frames(16, 2);
    Buffers buffers(1);
    buffers.set(0, 2, input);
    script = {{-1, EPIPE}, {-1, EPIPE}};
    tap::captureCycle(0, nullptr, buffers.list(), nullptr, nullptr, nullptr, nullptr);
    tap::captureCycle(0, nullptr, buffers.list(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(tap::outputClosed.load());
}

}  // namespace
