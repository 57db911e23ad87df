// The tap's sample format: read, checked against the pair and reported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tap {

// What a host is told and the watch compares: the tap's rate and channel count.
struct Format {
    double rate = 0;
    std::uint32_t channels = 0;
};

// The tap's current format ('tfmt'); nothing when it cannot be read or is not float32, and then
// `unreadable`, when given, says whether the read itself failed.
std::optional<Format> readFormat(bool* unreadable = nullptr);

// Why the capture cannot go on with `format` (read with `readFormat`): not float32, or too few
// channels for the pair; nothing when it can.
std::optional<std::string> unusable(const std::optional<Format>& format);

// The tap's format. Does not return unless it is float32 with room for the pair.
Format checkFormat();

// Does not return: the audio service restarted, the tap and its device are gone with it. The error
// report, exit status 1; `atOnce` leaves through _exit, for a start still inside the platform's call.
[[noreturn]] void failRestarted(bool atOnce = false);

// The tap's format once the start has returned, checked as at the start. Does not return when the
// service restarted meanwhile or the format no longer holds the pair.
Format formatAfterStart();

// The "format" report on standard error: the rate, and always 2 channels; for a later format,
// "at", the stream frames before its first frame.
void sayFormat(const Format& format, std::optional<std::uint64_t> at = std::nullopt);

}  // namespace tap
