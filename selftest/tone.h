// The tone the capture step plays: a 440 Hz sine in a WAV file the self-test writes itself.
#pragma once

#include <string>

namespace selftest {

// Writes `seconds` of a 440 Hz sine at half scale, 44100 Hz 16-bit stereo PCM; false when the
// file cannot be written.
bool writeTone(const std::string& path, int seconds);

// Plays the tone as the simulated machine's player does: by lasting as long as it would sound.
// False when the file is not such a WAV.
bool playInPlace(const std::string& path);

}  // namespace selftest
