// Checks of what a switch and its hold reported, from the file that caught sorvane-sound's
// standard output.
#pragma once

#include <string>

namespace selftest {

// Status 0 when the file holds a report of this "type", else 1 (quietly: the self-test asks
// again and again while it waits).
int hasReport(const std::string& path, const std::string& type);

// A "switched" report whose "snapshot" is "kept" or "taken" (with `changed`, listing something
// applied), then as the last line the one "restored" report; else writes what was seen, status 1,
// or status 2 when only the change was skipped: the device would not take it.
int checkHold(const std::string& path, bool changed);

}  // namespace selftest
