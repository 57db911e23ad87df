// TEMPORARY: stand-ins until the folder and mode files exist. Delete when they do.
#include "shared/report.h"
#include "sound/files.h"
#include "sound/modes.h"

namespace sound {

Files files(const std::string& option) {
    report::fail(option + " needs a folder");
}

void runSave() {
    report::fail("not yet");
}

void runSwitch() {
    report::fail("not yet");
}

void restore(const Files&) {}

}  // namespace sound
