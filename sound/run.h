// The process-wide values of sorvane-sound, set once at the start of every run.
#pragma once

#include "sound/backend/sound_system.h"

#include <string>
#include <vector>

namespace sound {

extern SoundSystem* system;         // the one back end, a CoreAudioSystem; lives for the whole run
extern const std::string backend;   // "coreaudio"
extern std::vector<std::string> args;  // the command line, program path first

// Sets the values above from the command line.
void start(int argc, char** argv);

}  // namespace sound
