// JSON-line reports and the one failing exit of both programs.
#pragma once

#include "shared/json.h"

#include <cstdint>
#include <string>

namespace report {

// Writes the report as one compact line (keys sorted) plus a line feed to `fd` in a single
// write. Writes nothing when the report has no JSON form; write failures are ignored.
void say(const json::Object& report, int fd = 1);

// sorvane-sound's failing exit: {"message": message, "type": "error"} on standard output, then
// exit status 1. Undoes nothing.
[[noreturn]] void fail(const std::string& message);

// sorvane-tap's failing exit: {"message", "status", "type": "error"} on standard error, then
// exit status 1 whatever the status.
[[noreturn]] void failWithStatus(const std::string& message, std::int32_t status = 0);

// As failWithStatus, but leaves through _exit, running no exit-time destructor: for a process in
// which another thread is still inside a platform call.
[[noreturn]] void failWithStatusAtOnce(const std::string& message, std::int32_t status = 0);

}  // namespace report
