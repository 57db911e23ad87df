// "--switch DIR": the switch and the hold after it.
#pragma once

namespace sound {

// Snapshot, mark, apply, report, hold, restore once. Ends the process.
[[noreturn]] void runSwitch();

}  // namespace sound
