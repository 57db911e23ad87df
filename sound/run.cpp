#include "sound/run.h"

#include "shared/property.h"
#include "sound/backend/core_audio_system.h"

#include <csignal>

namespace sound {

// Made before main: a CoreAudioSystem holds no state and touches nothing when created.
SoundSystem* system = new CoreAudioSystem();
const std::string backend = "coreaudio";
std::vector<std::string> args;

void start(int argc, char** argv) {
    // A host that stops reading must not kill a run halfway: a report that meets a closed
    // output is dropped, and the work (a restore above all) still finishes with its status.
    std::signal(SIGPIPE, SIG_IGN);
    args.assign(argv, argv + argc);
}

void talkToPlatform() {
    // A hold lasts long, and devices come and go meanwhile.
    property::notifyOnOwnThread();
}

}  // namespace sound
