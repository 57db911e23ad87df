// The process-wide values of one sorvane-tap run. The main thread sets them during start-up;
// once capture runs only the two flags change, each with a single writer.
#pragma once

#include "apple.h"
#include "events.h"
#include "tap/ring.h"
#include "wakeup.h"

#include <CoreAudio/CoreAudio.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tap {

extern std::vector<std::string> args;          // the process arguments, program path first
extern std::string ownBundleID;                // the bundle identifier of the parent's app, or ""
extern std::optional<std::string> bundleID;    // --bundle-id
extern std::vector<std::int32_t> pids;         // --pid
extern std::optional<std::string> deviceUID;   // --device
extern std::int64_t master;                    // --master, 1-based
extern std::int64_t firstChannel;              // 0-based offset of the pair in the tapped audio
extern std::optional<apple::TapDescription> description;
extern AudioObjectID tap;
extern OSStatus status;                        // result of the last create or start call
extern CFDictionaryRef aggregate;              // released once the device is made
extern AudioObjectID device;
extern float* interleaved;                     // the ring's frames, allocated before the start, never freed
extern Ring* ring;                             // from the IO procedure to the writer thread
extern platform::Wakeup* writerWake;           // the IO procedure wakes the writer; the stop too
extern std::atomic<bool> formatSaid;           // the "format" report is out: the writer may write
extern std::atomic<bool> finishing;            // the device has stopped: the writer empties the ring and ends
extern platform::Wakeup* writerDone;           // the writer has emptied the ring, or given up
extern std::atomic<bool> outputClosed;         // written by the writer thread only
extern std::atomic<std::int32_t> stopRequested;  // written by the stop handler only
extern std::atomic<bool> restarted;            // the audio service restarted: the tap and its device are gone
extern std::atomic<bool> deviceStopped;        // the tap's device stopped its IO outside the normal mechanisms
extern std::atomic<bool> processesChanged;     // the platform's process list changed since the main thread looked
extern std::atomic<bool> streamEnded;          // the writer has written all it was to write before the end
extern platform::Events* events;               // the main thread's one wait; listeners and the writer post to it
extern AudioDeviceIOProc ioProc;
extern std::optional<AudioDeviceIOProcID> procID;
extern pid_t parent;

// Both flags cross threads and a signal handler: they must never take a lock.
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

}  // namespace tap
