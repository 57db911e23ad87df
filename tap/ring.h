// Stereo float frames on their way from the IO procedure to the writer thread: one producer, one
// consumer, two indices with acquire/release ordering over memory allocated before the start.
// The producer also keeps the count of what did not fit, and hands over at its place in the
// stream, ahead of the frames after it, whatever the writer must tell there: each run of lost
// frames, and each change of the tap's rate. Once the device has stopped, the main thread may
// take the producer's part.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tap {

// What the writer tells at a place in the stream, after its first `at` frames: `frames` of the
// app's audio missing there, or (`rate` above 0) the frames from there on at a new rate.
struct Note {
    std::uint64_t at = 0;
    std::uint64_t frames = 0;
    double rate = 0;
};

class Ring {
public:
    // Frames the ring holds at a rate: a power of two of at least two seconds' worth (under 4 s).
    static std::size_t framesFor(double rate);

    // Over `storage`, 2 × `frames` floats that outlive the ring; `frames` is a power of two.
    Ring(float* storage, std::size_t frames);

    std::size_t frames() const { return frames_; }

    // Any thread: the tap runs at `rate` now. The first rate given is the stream's own; a later
    // one is marked where the producer next hands frames over.
    void announceRate(double rate) { announced_.store(rate, std::memory_order_release); }

    // Producer, before a cycle's frames: marks a newly announced rate. False when there is no room
    // to tell of it: the cycle's frames must then be lost rather than heard at the old rate.
    bool followRate();
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
    // Once the producer is done: nothing after the frames handed over so far is to be written.
    void end();

    // Consumer. Frames in the stream so far, handed on; the frames ready in one piece from there.
    std::uint64_t taken() const { return read_.load(std::memory_order_relaxed); }
    const float* ready(std::size_t& frames) const;
    // Consumer. Those frames are out.
    void release(std::size_t frames);
    // Consumer. The next note handed over, nothing when none; look after `ready`.
    std::optional<Note> nextNote() const;
    void dropNote();
    // Consumer. Where the stream ends (`end`), nothing while it goes on.
    std::optional<std::uint64_t> endsAt() const;
    // Consumer, once the producer is done: the gap it could not hand over for want of room.
    std::optional<Note> gapLeftOver() const;

private:
    static constexpr std::size_t noteSlots = 256;

    bool publish(const Note& note);
    bool publishGap();

    float* storage_;
    std::size_t frames_;
    std::size_t mask_;
    alignas(64) std::atomic<std::uint64_t> written_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
    // Notes, a second ring of their own.
    Note notes_[noteSlots];
    alignas(64) std::atomic<std::uint64_t> notesWritten_{0};
    alignas(64) std::atomic<std::uint64_t> notesRead_{0};
    std::atomic<double> announced_{0};
    std::atomic<bool> ended_{false};
    std::uint64_t endsAt_ = 0;  // written before `ended_`
    // The producer's own: the run of lost frames not yet handed over, the rate it last marked.
    Note open_{};
    double rate_ = 0;
};

static_assert(std::atomic<double>::is_always_lock_free);

}  // namespace tap
