// The processes that use audio, which of them are the host's own, and the --list mode.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tap {

struct AudioProcess {
    AudioObjectID object = kAudioObjectUnknown;
    std::int32_t pid = 0;                // 0 when unreadable
    std::string bundleID;                // "" when unreadable or absent
    bool playing = false;
    std::vector<AudioObjectID> devices;  // output devices it plays to; empty when unreadable
};

// Every audio process object but this program's own, in the platform's order; empty when the
// list cannot be read.
std::vector<AudioProcess> audioProcesses();

// The audio processes of the application with that bundle identifier: those carrying it or one
// nested under it, in the platform's order, never the host's own.
std::vector<AudioProcess> processesOf(const std::string& bundle);

// True when `id` is `bundle` or nested under it ("bundle.helper"): an application's helpers are
// part of it.
bool partOf(const std::string& id, const std::string& bundle);

// True when the bundle identifier is the host's (`ownBundleID`) or nested under it; never when
// the host has none.
bool ours(const std::string& id);

// Writes one JSON line per audio process that is not the host's to standard output.
void listProcesses();

}  // namespace tap
