#include "sound/run.h"

#include "sound/backend/core_audio_system.h"

namespace sound {

// Made before main: a CoreAudioSystem holds no state and touches nothing when created.
SoundSystem* system = new CoreAudioSystem();
const std::string backend = "coreaudio";
std::vector<std::string> args;

void start(int argc, char** argv) {
    args.assign(argv, argv + argc);
}

}  // namespace sound
