#include "tap/ring.h"

namespace tap {

std::size_t Ring::framesFor(double rate) {
    const double wanted = (rate > 0 ? rate : 48000.0) * 2;
    std::size_t frames = 1;
    while (static_cast<double>(frames) < wanted) {
        frames <<= 1;
    }
    return frames;
}

Ring::Ring(float* storage, std::size_t frames) : storage_(storage), frames_(frames), mask_(frames - 1) {}

std::size_t Ring::room() const {
    const std::uint64_t written = written_.load(std::memory_order_relaxed);
    return frames_ - static_cast<std::size_t>(written - read_.load(std::memory_order_acquire));
}

float* Ring::slot(std::size_t offset, std::size_t& run) {
    const std::size_t at = static_cast<std::size_t>(written_.load(std::memory_order_relaxed) + offset) & mask_;
    run = frames_ - at;
    return storage_ + 2 * at;
}

bool Ring::publish(const Note& note) {
    const std::uint64_t written = notesWritten_.load(std::memory_order_relaxed);
    if (written - notesRead_.load(std::memory_order_acquire) == noteSlots) {
        return false;
    }
    notes_[written % noteSlots] = note;
    notesWritten_.store(written + 1, std::memory_order_release);
    return true;
}

bool Ring::publishGap() {
    if (open_.frames == 0) {
        return true;
    }
    if (!publish(open_)) {
        return false;
    }
    open_ = Note{};
    return true;
}

bool Ring::followRate() {
    const double announced = announced_.load(std::memory_order_acquire);
    if (rate_ == 0) {
        rate_ = announced;  // the stream's own rate, told in the first report
    }
    if (announced == rate_) {
        return true;
    }
    // Frames lost before the change were lost at the old rate: that gap is told first.
    if (!publishGap() || !publish(Note{written_.load(std::memory_order_relaxed), 0, announced})) {
        return false;
    }
    rate_ = announced;
    return true;
}

void Ring::commit(std::size_t frames) {
    if (frames == 0) {
        return;
    }
    if (!publishGap()) {
        // No room to tell of the gap: these frames join it rather than be heard out of place.
        open_.frames += frames;
        return;
    }
    written_.store(written_.load(std::memory_order_relaxed) + frames, std::memory_order_release);
}

void Ring::lose(std::uint64_t frames) {
    if (frames == 0) {
        return;
    }
    if (open_.frames == 0) {
        open_.at = written_.load(std::memory_order_relaxed);
    }
    open_.frames += frames;
}

void Ring::closeGap() {
    publishGap();
}

void Ring::end() {
    endsAt_ = written_.load(std::memory_order_relaxed);
    ended_.store(true, std::memory_order_release);
}

const float* Ring::ready(std::size_t& frames) const {
    const std::uint64_t read = read_.load(std::memory_order_relaxed);
    const std::size_t waiting = static_cast<std::size_t>(written_.load(std::memory_order_acquire) - read);
    const std::size_t at = static_cast<std::size_t>(read) & mask_;
    frames = waiting < frames_ - at ? waiting : frames_ - at;
    return storage_ + 2 * at;
}

void Ring::release(std::size_t frames) {
    read_.store(read_.load(std::memory_order_relaxed) + frames, std::memory_order_release);
}

std::optional<Note> Ring::nextNote() const {
    const std::uint64_t read = notesRead_.load(std::memory_order_relaxed);
    if (notesWritten_.load(std::memory_order_acquire) == read) {
        return std::nullopt;
    }
    return notes_[read % noteSlots];
}

void Ring::dropNote() {
    notesRead_.store(notesRead_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

std::optional<std::uint64_t> Ring::endsAt() const {
    if (!ended_.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    return endsAt_;
}

std::optional<Note> Ring::gapLeftOver() const {
    if (open_.frames == 0) {
        return std::nullopt;
    }
    return open_;
}

}  // namespace tap
