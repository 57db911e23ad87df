#include "tap/format.h"

#include "shared/property.h"
#include "shared/report.h"
#include "tap/listeners.h"
#include "tap/run_state.h"

#include <string>
#include <unistd.h>

namespace tap {

std::optional<Format> readFormat(bool* unreadable) {
    auto format = property::read(tap, property::address(kAudioTapPropertyFormat), AudioStreamBasicDescription{});
    if (unreadable != nullptr) {
        *unreadable = !format;
    }
    if (!format || (format->mFormatFlags & kAudioFormatFlagIsFloat) == 0 || format->mBitsPerChannel != 32) {
        return std::nullopt;
    }
    return Format{format->mSampleRate, format->mChannelsPerFrame};
}

std::optional<std::string> unusable(const std::optional<Format>& format) {
    if (!format) {
        return "the tap's format isn't Float32";
    }
    if (firstChannel + 2 > static_cast<std::int64_t>(format->channels)) {
        return "the tap has " + std::to_string(format->channels) + " channels, not the pair asked for";
    }
    return std::nullopt;
}

Format checkFormat() {
    auto format = readFormat();
    if (auto problem = unusable(format)) {
        report::failWithStatus(*problem);
    }
    return *format;
}

void failRestarted(bool atOnce) {
    // Nothing made is torn down: the restart took the tap and its device away. The listeners go
    // first, so that none runs while the process ends.
    stopListening();
    const char* message = "the audio system restarted, so the capture stopped";
    if (atOnce) {
        report::failWithStatusAtOnce(message);
    }
    report::failWithStatus(message);
}

Format formatAfterStart() {
    bool unreadable = false;
    auto format = readFormat(&unreadable);
    if (restarted.load() || unreadable) {
        failRestarted();
    }
    if (auto problem = unusable(format)) {
        report::failWithStatus(*problem);
    }
    return *format;
}

void sayFormat(const Format& format, std::optional<std::uint64_t> at) {
    json::Object report = {{"type", "format"}, {"rate", format.rate}, {"channels", 2}};
    if (at) {
        report["at"] = static_cast<long long>(*at);
    }
    report::say(report, STDERR_FILENO);
}

}  // namespace tap
