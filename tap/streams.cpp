#include "tap/streams.h"

#include "shared/property.h"
#include "shared/report.h"
#include "tap/run_state.h"

#include <string>

namespace tap {

namespace {

// Channel pairs are written "m–m+1" with an en dash. master ≥ 1, so m + 1 fits unsigned.
std::string pairText(std::int64_t master) {
    auto first = static_cast<unsigned long long>(master);
    return std::to_string(first) + "\u2013" + std::to_string(first + 1);
}

}  // namespace

PairPlace locatePair(const StreamCounts& counts, std::int64_t master) {
    PairPlace place;
    if (master < 1) {
        return place;
    }
    std::int64_t start = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        // Channels past a stream of unknown width would be counted from the wrong place: the pair
        // cannot be told apart from one that crosses streams.
        if (!counts[i]) {
            place.kind = PairPlace::Kind::split;
            return place;
        }
        std::int64_t end = start + *counts[i];
        if (master - 1 >= end) {
            start = end;
            continue;
        }
        if (master >= end) {
            // The second channel lies past this stream: in a later one, or past the last channel.
            bool later = false;
            for (std::size_t j = i + 1; j < counts.size(); ++j) {
                later = later || !counts[j] || *counts[j] > 0;
            }
            place.kind = later ? PairPlace::Kind::split : PairPlace::Kind::missing;
            return place;
        }
        place.kind = PairPlace::Kind::found;
        place.stream = i;
        place.first = master - 1 - start;
        return place;
    }
    return place;
}

StreamCounts streamChannels(AudioObjectID device) {
    StreamCounts counts;
    for (AudioObjectID stream : property::readObjects(device, kAudioDevicePropertyStreams, property::output)) {
        auto format = property::read(stream, property::address(kAudioStreamPropertyVirtualFormat),
                                     AudioStreamBasicDescription{});
        counts.push_back(format ? std::optional<std::uint32_t>(format->mChannelsPerFrame) : std::nullopt);
    }
    return counts;
}

StreamPick masterStream(const std::string& uid) {
    auto [translation, found] = property::translateUID(uid);
    if (translation != 0 || found == kAudioObjectUnknown) {
        report::failWithStatus("no output device " + uid, translation);
    }
    PairPlace place = locatePair(streamChannels(found), master);
    switch (place.kind) {
    case PairPlace::Kind::found:
        return {place.stream, place.first};
    case PairPlace::Kind::split:
        report::failWithStatus("channels " + pairText(master) + " aren't in one stream of that device");
    case PairPlace::Kind::missing:
        break;
    }
    report::failWithStatus("that device has no channels " + pairText(master));
}

}  // namespace tap
