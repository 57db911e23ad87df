// sorvane-sound: one run, one mode; every mode ends the process.
#include "shared/report.h"
#include "sound/command_line.h"
#include "sound/current.h"
#include "sound/files.h"
#include "sound/restore.h"
#include "sound/run.h"
#include "sound/save.h"
#include "sound/switch.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void writeBackend() {
    // Plain text, not a report. A failed write has nowhere to be told.
    std::string line = sound::backend + "\n";
    if (::write(STDOUT_FILENO, line.data(), line.size()) < 0) {
        std::exit(0);
    }
    std::exit(0);
}

[[noreturn]] void readSettings() {
    report::say({{"type", "settings"}, {"settings", sound::encoded(sound::current())}});
    std::exit(0);
}

[[noreturn]] void listDevices() {
    for (const auto& device : sound::system->devices()) {
        report::say(device);
    }
    std::exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    sound::start(argc, argv);
    const sound::Mode mode = sound::mode(sound::args);
    // A switch blocks the signals that end its hold before it talks to the platform.
    if (mode != sound::Mode::switchTo) {
        sound::talkToPlatform();
    }
    switch (mode) {
    case sound::Mode::backend:
        writeBackend();
    case sound::Mode::read:
        readSettings();
    case sound::Mode::devices:
        listDevices();
    case sound::Mode::save:
        sound::runSave();
    case sound::Mode::restore:
        sound::restore(sound::files("--restore"));
        std::exit(0);
    case sound::Mode::switchTo:
        sound::runSwitch();
    case sound::Mode::none:
        break;
    }
    report::fail("say what to do: --read, --devices, --save DIR, --switch DIR, --restore DIR");
}
