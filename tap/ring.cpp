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

bool Ring::publishGap() {
    const std::uint64_t written = gapsWritten_.load(std::memory_order_relaxed);
    if (written - gapsRead_.load(std::memory_order_acquire) == gapSlots) {
        return false;
    }
    gaps_[written % gapSlots] = open_;
    gapsWritten_.store(written + 1, std::memory_order_release);
    open_ = Gap{};
    return true;
}

void Ring::commit(std::size_t frames) {
    if (frames == 0) {
        return;
    }
    if (open_.frames > 0 && !publishGap()) {
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
    if (open_.frames > 0) {
        publishGap();
    }
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

std::optional<Gap> Ring::nextGap() const {
    const std::uint64_t read = gapsRead_.load(std::memory_order_relaxed);
    if (gapsWritten_.load(std::memory_order_acquire) == read) {
        return std::nullopt;
    }
    return gaps_[read % gapSlots];
}

void Ring::dropGap() {
    gapsRead_.store(gapsRead_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

}  // namespace tap
