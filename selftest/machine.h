// The simulated machine the self-test runs against where there is no Mac: two outputs, a
// microphone, and later the player of the capture step.
#pragma once

#include <string>

namespace selftest {

// Writes a fresh machine file; false when it cannot be written.
bool writeMachine(const std::string& path);

// Adds the process `pid` to the machine file, playing to the default output; false when the
// file cannot be read or written.
bool addPlayer(const std::string& path, long pid);

}  // namespace selftest
