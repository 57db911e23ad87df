// A capture of --bundle-id follows the application: processes it starts after the capture began
// (a browser's new helper, an app quit and opened again) are heard too. The platform tells of every
// change of its process list; the main thread then gives the tap a description naming the
// application's processes as they are now.
#pragma once

namespace tap {

// True when the tap names the application's processes, which then must be followed: --bundle-id
// on a system where taps cannot follow a bundle identifier themselves, or with --device.
bool followsProcesses();

// Main thread. Gives the tap a description naming the application's audio processes running now
// when they differ from those it names. Never one naming none, which would leave the old
// processes, gone, silent: a description without processes could tap the whole Mac. A write the
// platform refuses is tried again at the next change.
void followProcesses();

}  // namespace tap
