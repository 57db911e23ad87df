// Checks of a capture by sorvane-tap, from the files that caught its reports and its stream.
#pragma once

#include <string>

namespace selftest {

// What the self-test adds when a capture is all zeros or never starts: on a Mac, that is what a
// capture without the permission gives. The permission's place was renamed in macOS 15.
inline constexpr const char* kPermissionHint =
    "which usually means that the app running it (Terminal, say) lacks the System Audio Recording permission "
    "(System Settings > Privacy & Security > Screen & System Audio Recording on macOS 15 and later, "
    "Screen Recording on macOS 14): allow it and run the self-test again";

// A "format" report of 2 channels at a positive rate and no error; a stream of whole frames as
// long as the rate makes of at least `heardMs` (the time the capture was seen running, halved
// for a slow machine) and at most `livedMs` (the tap's whole life, with one long cycle more);
// a level well above silence. Else writes what was seen: status 2 when only the level is wrong,
// all zeros (as without the permission), else 1.
int checkCapture(const std::string& reports, const std::string& pcm, long heardMs, long livedMs);

// Status 0 when a "--list" answer holds the process `pid`; else writes what was seen, status 1.
int checkListed(const std::string& list, long pid);

}  // namespace selftest
