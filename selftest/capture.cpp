#include "selftest/capture.h"

#include "selftest/lines.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace selftest {
namespace {

// Well above silence: -60 dBFS, far below a half-scale tone at any sensible volume.
constexpr double kQuietest = 0.001;
constexpr double kLongestCycle = 16384;
constexpr size_t kFrameBytes = 2 * sizeof(float);

}  // namespace

int checkCapture(const std::string& reports, const std::string& pcm, long heardMs, long livedMs) {
    auto lines = readLines(reports);
    if (!lines) {
        return failed("sorvane-tap's reports cannot be read");
    }
    if (auto error = firstOfType(*lines, "error")) {
        return failed("sorvane-tap failed: " + error->dump());
    }
    auto format = firstOfType(*lines, "format");
    auto rate = format ? number(*format, "rate") : std::nullopt;
    if (!format || !rate || *rate <= 0 || number(*format, "channels") != 2) {
        return failed(format ? "the format report is not of 2 channels at a rate: " + format->dump()
                             : "no \"format\" report");
    }
    auto stream = readFile(pcm);
    if (!stream || stream->size() % kFrameBytes != 0) {
        return failed("the stream is not whole frames of two 32-bit floats: " +
                      std::to_string(stream ? stream->size() : 0) + " bytes");
    }
    const double frames = static_cast<double>(stream->size() / kFrameBytes);
    const double least = *rate * heardMs / 1000.0 / 2;
    const double most = *rate * livedMs / 1000.0 + kLongestCycle;
    if (frames < least || frames > most) {
        return failed("the stream holds " + std::to_string(static_cast<long>(frames)) + " frames; at " +
                      std::to_string(*rate) + " Hz " + std::to_string(static_cast<long>(least)) + " to " +
                      std::to_string(static_cast<long>(most)) + " fit the time it ran");
    }
    double peak = 0;
    for (size_t at = 0; at < stream->size(); at += sizeof(float)) {
        float sample;
        std::memcpy(&sample, stream->data() + at, sizeof sample);
        if (!std::isfinite(sample)) {
            return failed("the stream holds a sample that is not a finite number");
        }
        peak = std::fmax(peak, std::fabs(sample));
    }
    if (peak == 0) {
        std::printf("the stream is all zeros, %s\n", kPermissionHint);
        return 2;
    }
    if (peak < kQuietest) {
        return failed("the stream is close to silence: its loudest sample is " + std::to_string(peak));
    }
    return 0;
}

int checkListed(const std::string& list, long pid) {
    auto lines = readLines(list);
    if (!lines) {
        return failed("--list's answer cannot be read");
    }
    for (const auto& line : *lines) {
        if (number(line, "pid") == static_cast<double>(pid)) {
            return 0;
        }
    }
    return failed("--list does not show the player, process " + std::to_string(pid));
}

}  // namespace selftest
