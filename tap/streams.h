// Which output stream of a device carries a channel pair, and where in it.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tap {

// Where the pair starting at a 1-based device channel lies.
struct PairPlace {
    enum class Kind { found, missing, split };
    Kind kind = Kind::missing;
    unsigned long stream = 0;  // index into the device's output streams, when found
    std::int64_t first = 0;    // 0-based offset of the pair's first channel in that stream
};

// The channel count of each output stream, in stream order; nothing for a stream whose format
// cannot be read.
using StreamCounts = std::vector<std::optional<std::uint32_t>>;

// The place of channels master and master + 1 (master ≥ 1) over streams of these channel
// counts: missing when the device has too few channels, split when the pair crosses streams or
// a stream before it has a count not known, so that where the pair lies is not known either.
PairPlace locatePair(const StreamCounts& counts, std::int64_t master);

// The channel count of each output stream of the device; empty when the stream list cannot be read.
StreamCounts streamChannels(AudioObjectID device);

// The stream and offset of the pair at `master` on the device with that UID. Does not return
// when the device is unknown or the pair cannot be had: the run fails with the reason.
struct StreamPick {
    unsigned long stream = 0;
    std::int64_t first = 0;
};
StreamPick masterStream(const std::string& uid);

}  // namespace tap
