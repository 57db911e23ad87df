// The two longer modes of sorvane-sound and the restore they share.
#pragma once

#include "sound/files.h"

namespace sound {

// "--save DIR": checks the settings line on standard input and keeps it. Ends the process.
[[noreturn]] void runSave();

// "--switch DIR": snapshot, mark, apply, report, hold, restore once. Ends the process.
[[noreturn]] void runSwitch();

// Puts the folder's snapshot back, removes the mark and writes the "restored" report. Returns.
void restore(const Files& files);

}  // namespace sound
