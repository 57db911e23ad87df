// The copying path against a memcpy of the same bytes.
#include "tap/capture.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t frames = 16384;

// One AudioBufferList with room for `count` buffers.
struct BufferList {
    explicit BufferList(std::size_t count)
        : storage(sizeof(AudioBufferList) + (count - 1) * sizeof(AudioBuffer)),
          list(reinterpret_cast<AudioBufferList*>(storage.data())) {
        list->mNumberBuffers = static_cast<UInt32>(count);
    }
    std::vector<unsigned char> storage;
    AudioBufferList* list;
};

std::vector<float> ramp(std::size_t samples) {
    std::vector<float> data(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        data[i] = static_cast<float>(i % 1000) / 1000.0f;
    }
    return data;
}

void pickPairInterleaved8(benchmark::State& state) {
    std::vector<float> input = ramp(frames * 8);
    std::vector<float> out(frames * 2);
    BufferList buffers(1);
    buffers.list->mBuffers[0] = {8, static_cast<UInt32>(input.size() * sizeof(float)), input.data()};
    for (auto _ : state) {
        benchmark::DoNotOptimize(tap::pickPair(buffers.list, 6, out.data(), frames));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size() * sizeof(float)));
}
BENCHMARK(pickPairInterleaved8)->Name("pickPair/interleaved8_pair6");

// The memcpy baselines write 64 bytes past the start of their buffer: with source and destination
// at the same offset within a 4 KiB page, some processors take a slow path for `rep movsb` that
// would flatter the comparison.
constexpr std::size_t skew = 16;

void memcpyInput(benchmark::State& state) {
    std::vector<float> input = ramp(frames * 8);
    std::vector<float> out(input.size() + skew);
    for (auto _ : state) {
        std::memcpy(out.data() + skew, input.data(), input.size() * sizeof(float));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size() * sizeof(float)));
}
BENCHMARK(memcpyInput)->Name("memcpy/512KiB_input");

void pickPairSeparate(benchmark::State& state) {
    std::vector<float> left = ramp(frames);
    std::vector<float> right = ramp(frames);
    std::vector<float> out(frames * 2);
    BufferList buffers(2);
    buffers.list->mBuffers[0] = {1, static_cast<UInt32>(frames * sizeof(float)), left.data()};
    buffers.list->mBuffers[1] = {1, static_cast<UInt32>(frames * sizeof(float)), right.data()};
    for (auto _ : state) {
        benchmark::DoNotOptimize(tap::pickPair(buffers.list, 0, out.data(), frames));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size() * sizeof(float)));
}
BENCHMARK(pickPairSeparate)->Name("pickPair/separate2");

void memcpyOutput(benchmark::State& state) {
    std::vector<float> input = ramp(frames * 2);
    std::vector<float> out(input.size() + skew);
    for (auto _ : state) {
        std::memcpy(out.data() + skew, input.data(), input.size() * sizeof(float));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size() * sizeof(float)));
}
BENCHMARK(memcpyOutput)->Name("memcpy/128KiB_output");

}  // namespace
