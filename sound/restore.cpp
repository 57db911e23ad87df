#include "sound/restore.h"

#include "shared/report.h"
#include "sound/apply.h"

#include <unistd.h>

namespace sound {

void restore(const Files& files, const Unsettled& unsettled) {
    Applied applied;
    if (auto snapshot = files.loadSnapshot()) {
        Unsettled forced = unsettled;
        // Only the switch that left the mark wrote them; after its restore they are long in place.
        if (files.marked()) {
            forced.add(snapshot->second);
        }
        applied = applyAll(snapshot->first, forced);
    } else {
        applied.skipped.push_back("no snapshot to put back");
    }
    // The snapshot stays for a later restore; only the mark goes, and a missing one is fine.
    ::unlink(files.mark().c_str());
    report::say(appliedReport("restored", applied));
}

}  // namespace sound
