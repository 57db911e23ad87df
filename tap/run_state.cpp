#include "tap/run_state.h"

namespace tap {

std::vector<std::string> args;
std::string ownBundleID;
std::optional<std::string> bundleID;
std::vector<std::int32_t> pids;
std::optional<std::string> deviceUID;
std::int64_t master = 1;
std::int64_t firstChannel = 0;
std::optional<apple::TapDescription> description;
AudioObjectID tap = kAudioObjectUnknown;
OSStatus status = 0;
CFDictionaryRef aggregate = nullptr;
AudioObjectID device = kAudioObjectUnknown;
float* interleaved = nullptr;
Ring* ring = nullptr;
platform::Wakeup* writerWake = nullptr;
std::atomic<bool> formatSaid{false};
std::atomic<bool> finishing{false};
platform::Wakeup* writerDone = nullptr;
std::atomic<bool> outputClosed{false};
std::atomic<std::int32_t> stopRequested{0};
std::atomic<bool> restarted{false};
std::atomic<bool> deviceStopped{false};
std::atomic<bool> processesChanged{false};
std::atomic<bool> streamEnded{false};
platform::Events* events = nullptr;
AudioDeviceIOProc ioProc = nullptr;
std::optional<AudioDeviceIOProcID> procID;
pid_t parent = 0;

}  // namespace tap
