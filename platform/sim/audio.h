// The audio the simulated processes play: channel c of frame n of a process is
// level * ((c + 1) / 16 + (n % 1000) / 1000000), computed in double and rounded to float.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <vector>

namespace sim::audio {

// The signal repeats every this many frames.
inline constexpr std::uint64_t period = 1000;

// One process's sample.
float sample(double level, UInt32 channel, std::uint64_t frame);

// The sum of the processes' samples.
float mix(const std::vector<double>& levels, UInt32 channel, std::uint64_t frame);

// The mix of channels firstChannel .. firstChannel + channels - 1 for frames 0 .. period + frames - 1,
// so that the `frames` frames of any cycle lie in one piece starting at frame (n % period).
// Interleaved: frame after frame; otherwise channel after channel, each period + frames long.
std::vector<float> table(const std::vector<double>& levels, UInt32 firstChannel, UInt32 channels, UInt32 frames,
                         bool interleaved);

}  // namespace sim::audio
