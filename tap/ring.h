// Stereo float frames on their way from the IO procedure to the writer thread: one producer, one
// consumer, two indices with acquire/release ordering over memory allocated before the start.
// The producer also keeps the count of what did not fit, and hands each run of lost frames to the
// consumer as a gap at its place in the stream, ahead of the frames after it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tap {

// A run of frames missing from the stream: `frames` of them after its first `at`.
struct Gap {
    std::uint64_t at = 0;
    std::uint64_t frames = 0;
};

class Ring {
public:
    // Frames the ring holds at a rate: a power of two of at least two seconds' worth (under 4 s).
    static std::size_t framesFor(double rate);

    // Over `storage`, 2 × `frames` floats that outlive the ring; `frames` is a power of two.
    Ring(float* storage, std::size_t frames);

    std::size_t frames() const { return frames_; }

    // Producer. Room for this many frames now.
    std::size_t room() const;
    // Producer. Where frame `offset` past the last committed one goes; `run` gets how many frames
    // follow it there in one piece.
    float* slot(std::size_t offset, std::size_t& run);
    // Producer. Hands `frames` filled frames to the consumer, behind the gap before them, if any.
    void commit(std::size_t frames);
    // Producer. `frames` frames of the app's audio will never be in the stream, from here.
    void lose(std::uint64_t frames);
    // Producer, or any thread once the producer is done: hands over a gap still being counted.
    void closeGap();

    // Consumer. Frames in the stream so far, handed on; the frames ready in one piece from there.
    std::uint64_t taken() const { return read_.load(std::memory_order_relaxed); }
    const float* ready(std::size_t& frames) const;
    // Consumer. Those frames are out.
    void release(std::size_t frames);
    // Consumer. The next gap handed over, nothing when none; look after `ready`.
    std::optional<Gap> nextGap() const;
    void dropGap();

private:
    static constexpr std::size_t gapSlots = 256;

    bool publishGap();

    float* storage_;
    std::size_t frames_;
    std::size_t mask_;
    alignas(64) std::atomic<std::uint64_t> written_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
    // Gaps, a second ring of their own.
    Gap gaps_[gapSlots];
    alignas(64) std::atomic<std::uint64_t> gapsWritten_{0};
    alignas(64) std::atomic<std::uint64_t> gapsRead_{0};
    // The producer's own: the run of lost frames not yet handed over.
    Gap open_{};
};

}  // namespace tap
