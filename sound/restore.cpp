#include "sound/restore.h"

#include "shared/report.h"
#include "sound/apply.h"

#include <unistd.h>

namespace sound {

void restore(const Files& files) {
    Applied applied;
    if (auto snapshot = files.load(files.snapshot())) {
        applied = applyAll(*snapshot);
    } else {
        applied.skipped.push_back("no snapshot to put back");
    }
    // The snapshot stays for a later restore; only the mark goes, and a missing one is fine.
    ::unlink(files.mark().c_str());
    report::say(appliedReport("restored", applied));
}

}  // namespace sound
