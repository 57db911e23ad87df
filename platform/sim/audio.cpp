#include "sim/audio.h"

namespace sim::audio {

float sample(double level, UInt32 channel, std::uint64_t frame) {
    return float(level * ((channel + 1) / 16.0 + double(frame % period) / 1000000.0));
}

float mix(const std::vector<double>& levels, UInt32 channel, std::uint64_t frame) {
    double sum = 0;
    for (double level : levels) {
        sum += sample(level, channel, frame);
    }
    return float(sum);
}

std::vector<float> table(const std::vector<double>& levels, UInt32 firstChannel, UInt32 channels, UInt32 frames,
                         bool interleaved) {
    const std::size_t length = period + frames;
    std::vector<float> out(length * channels);
    for (std::size_t n = 0; n < length; ++n) {
        for (UInt32 c = 0; c < channels; ++c) {
            const float value = mix(levels, firstChannel + c, n);
            out[interleaved ? n * channels + c : c * length + n] = value;
        }
    }
    return out;
}

}  // namespace sim::audio
