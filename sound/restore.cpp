#include "sound/apply.h"
#include "sound/modes.h"

#include "shared/report.h"

#include <unistd.h>


namespace sound {

namespace {

json::Array texts(const std::vector<std::string>& lines) { return json::Array(lines.begin(), lines.end()); }

}  // namespace

void restore(const Files& files) {
    Applied applied;
    if (auto snapshot = files.load(files.snapshot())) {
        applied = applyAll(*snapshot);
    } else {
        applied.skipped.push_back("no snapshot to put back");
    }
    // The snapshot stays for a later restore; only the mark goes, and a missing one is fine.
    ::unlink(files.mark().c_str());
    report::say({{"type", "restored"}, {"applied", texts(applied.done)}, {"skipped", texts(applied.skipped)}});
}

}  // namespace sound
