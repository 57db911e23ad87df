#include "sound/modes.h"

#include "shared/numbers.h"
#include "shared/report.h"
#include "sound/base64.h"
#include "sound/lines.h"
#include "sound/run.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace sound {

namespace {

// No settings line comes near this; a longer one could not be loaded back from the folder.
constexpr std::size_t longestLine = 1 << 20;

const char* const notOneLine = "Sorvane's settings are one JSON line on stdin";

// Fails with the side's first fault: device, then rate, then layout, then volume.
void check(const Side& side, Direction direction) {
    if (!system->exists(side.uid, direction)) {
        report::fail(side.name.value_or(side.uid) + " isn't a connected " + std::string(text(direction)));
    }
    if (side.rate && !(*side.rate >= 8000 && *side.rate <= 768000)) {
        report::fail(numbers::shortest(*side.rate) + " Hz isn't a sample rate");
    }
    if (side.layout) {
        auto bytes = base64::decode(*side.layout);
        if (!bytes || bytes->empty()) {
            report::fail("that channel layout isn't readable");
        }
    }
    if (side.volume) {
        for (const auto& [key, value] : *side.volume) {
            if (!(value >= 0 && value <= 1)) {
                report::fail("a volume runs from 0 to 1");
            }
        }
    }
}

}  // namespace

void runSave() {
    Files folder = files("--save");  // the folder exists even when the line turns out bad
    auto line = readLine(STDIN_FILENO, longestLine);
    if (!line || line->tooLong) {
        report::fail(notOneLine);
    }
    auto wanted = decode(line->text);
    if (!wanted) {
        report::fail(notOneLine);
    }
    if (!wanted->output && !wanted->input) {
        report::fail("Sorvane's settings name an output or an input");
    }
    if (wanted->output) {
        check(*wanted->output, Direction::output);
    }
    if (wanted->input) {
        check(*wanted->input, Direction::input);
    }
    if (!folder.save(*wanted, folder.sorvane())) {
        report::fail("couldn't keep Sorvane's settings");
    }
    report::say({{"type", "saved"}});
    std::exit(0);
}

}  // namespace sound
