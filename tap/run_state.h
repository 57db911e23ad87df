// The process-wide values of one sorvane-tap run. The main thread sets them during start-up;
// once capture runs only the two flags change, each with a single writer.
#pragma once

#include "apple.h"

#include <CoreAudio/CoreAudio.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tap {

// Samples in the scratch buffer of the copying path: 16384 stereo frames, 131072 bytes.
inline constexpr std::size_t interleavedSamples = 32768;
inline constexpr std::size_t interleavedFrames = interleavedSamples / 2;

extern std::vector<std::string> args;          // the process arguments, program path first
extern std::string ownBundleID;                // the parent's bundle identifier, or ""
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
extern float* interleaved;                     // scratch of the copying path, never freed
extern std::atomic<bool> outputClosed;         // written by the IO procedure only
extern std::atomic<std::int32_t> stopRequested;  // written by the stop handler only
extern std::atomic<bool> stopping;             // written by the main thread only, once the watch ends
extern AudioDeviceIOProc ioProc;
extern std::optional<AudioDeviceIOProcID> procID;
extern pid_t parent;

// Both flags cross threads and a signal handler: they must never take a lock.
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

// True once a stop is asked (a signal) or under way (the watch has ended): a cycle then gives up
// what it has left to write rather than wait for the reader.
inline bool stopAsked() {
    return stopRequested.load() != 0 || stopping.load();
}

}  // namespace tap
