// Checks of what sorvane-sound's read side answered, and the settings lines the switch steps
// keep, made from those answers. Each takes the files that caught the answers; a failed check
// writes what it saw as one line and returns 1.
#pragma once

#include <string>

namespace selftest {

// "--backend" one line of text; "--read" one "settings" report; "--devices" device records only;
// the defaults that "--read" names among the devices of their role.
int checkReadSide(const std::string& backend, const std::string& read, const std::string& devices);

// Writes the "settings" member of a "--read" report as a settings line: the devices as they are.
// Status 2 when it names no default device.
int settingsAsTheyAre(const std::string& read);

// Status 0 when a "--read" report names a default output; else says so, status 2.
int hasOutput(const std::string& read);

// Writes a settings line that changes something, the one after `skip` others: each other output
// device in the order of "--devices", then the output at another of its rates, then at another
// volume. Status 2 when the machine offers no change beyond those skipped.
int settingsThatChange(const std::string& read, const std::string& devices, long skip);

}  // namespace selftest
