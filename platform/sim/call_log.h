// The call log (SORVANE_MACHINE_LOG): one JSON line per platform call, appended with one write so
// that lines from several threads and processes never mix. Never used on the IO thread, nor
// while the state is locked: a call named in the machine's "delays" sleeps here.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <nlohmann/json.hpp>

namespace sim::log {

using Entry = nlohmann::ordered_json;

// A line for the named function.
Entry call(const char* fn);

// A line for a property call: "fn", "object", "selector", "scope", "element" (no address: just
// "fn" and "object").
Entry property(const char* fn, AudioObjectID object, const AudioObjectPropertyAddress* address);

// Appends the line when a call log was asked for. The first line opens the log and arranges the
// last one, {"fn":"exit","stringsAlive":N,"overReleases":M}, for the normal end of the process.
void write(const Entry& entry);

// Closes the log; the next line reads SORVANE_MACHINE_LOG again.
void reopen();

}  // namespace sim::log
