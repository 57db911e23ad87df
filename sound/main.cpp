// sorvane-sound: one run, one mode, picked by the first mode option present in a fixed order.
#include "shared/report.h"
#include "sound/current.h"
#include "sound/files.h"
#include "sound/modes.h"
#include "sound/run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

bool present(const std::string& option) {
    return std::find(sound::args.begin(), sound::args.end(), option) != sound::args.end();
}

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
    // Presence alone counts: options may stand anywhere, and the first in this order wins.
    if (present("--backend")) {
        writeBackend();
    }
    if (present("--read")) {
        readSettings();
    }
    if (present("--devices")) {
        listDevices();
    }
    if (present("--save")) {
        sound::runSave();
    }
    if (present("--restore")) {
        sound::restore(sound::files("--restore"));
        std::exit(0);
    }
    if (present("--switch")) {
        sound::runSwitch();
    }
    report::fail("say what to do: --read, --devices, --save DIR, --switch DIR, --restore DIR");
}
