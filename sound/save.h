// "--save DIR": the host's settings line, checked and kept.
#pragma once

namespace sound {

// Checks the settings line on standard input and keeps it in the folder. Ends the process.
[[noreturn]] void runSave();

}  // namespace sound
