// A time limit on a command, which the shells of both systems lack.
#pragma once

#include <string>
#include <vector>

namespace selftest {

// Runs `command` (a program looked up on PATH, and its arguments) with this process's standard
// streams and returns its exit status (128 + signal when a signal ended it). After `seconds` it
// is sent SIGTERM, a second later SIGKILL, and the status is 124. 127 when it cannot be started.
int runWithin(double seconds, const std::vector<std::string>& command);

// Milliseconds since the epoch, for timing a capture.
long long nowMs();

}  // namespace selftest
