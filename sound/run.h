// The process-wide values of sorvane-sound, set once at the start of every run.
#pragma once

#include "sound/backend/sound_system.h"

#include <string>
#include <vector>

namespace sound {

extern SoundSystem* system;         // the one back end, a CoreAudioSystem; lives for the whole run
extern const std::string backend;   // "coreaudio"
extern std::vector<std::string> args;  // the command line, program path first

// Sets the values above from the command line. Makes no platform call.
void start(int argc, char** argv);

// The run's first platform call. The platform starts threads of its own in the process here, and
// each is born with the signal mask of this moment: a mode that collects signals blocks them first.
void talkToPlatform();

}  // namespace sound
