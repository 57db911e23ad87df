#include "sound/save.h"

#include "shared/report.h"
#include "sound/files.h"
#include "sound/lines.h"
#include "sound/save_checks.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace sound {

namespace {

// No settings line comes near this; a longer one could not be loaded back from the folder.
constexpr std::size_t longestLine = 1 << 20;

const char* const notOneLine = "Sorvane's settings are one JSON line on stdin";

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
    if (auto problem = firstProblem(*wanted)) {
        report::fail(*problem);
    }
    if (!folder.save(*wanted, folder.sorvane())) {
        report::fail("couldn't keep Sorvane's settings");
    }
    report::say({{"type", "saved"}});
    std::exit(0);
}

}  // namespace sound
