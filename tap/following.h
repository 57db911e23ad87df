// A capture of --bundle-id follows the application: processes it starts after the capture began
// (a browser's new helper, an app quit and opened again) are heard too. The platform tells of every
// change of its process list; the main thread then gives the tap a description naming what the
// application has now: its processes, or, where taps follow bundle identifiers themselves, the
// identifiers its audio processes carry.
#pragma once

#include <string>
#include <vector>

namespace tap {

// True for --bundle-id: a capture of process ids names its processes once.
bool follows();

// True when the tap names the application's processes; else it names bundle identifiers (macOS
// 26 and later without --device).
bool namesProcesses();

// `bundle` and, after it, every other identifier nested under it that one of its audio processes
// carries now, in the platform's order, each once: a tap of bundle identifiers matches them
// exactly, and a browser plays from its helpers.
std::vector<std::string> bundleIdentifiersOf(const std::string& bundle);

// Main thread; nothing for --pid. Gives the tap a description naming the application's audio processes running now
// when they differ from those it names; or, for a tap of bundle identifiers, adding those of
// processes that appeared. Never one naming no process, which would leave the old processes, gone,
// silent: a description without processes could tap the whole Mac. A write the platform refuses is
// tried again at the next change.
void followApplication();

}  // namespace tap
