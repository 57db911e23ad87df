#include "sim/machine_file.h"

namespace sim {

namespace {

// A small studio: enough to run every mode of both programs by hand.
constexpr const char* builtIn = R"({
  "system": "15.0",
  "defaultOutput": "BuiltInSpeakerDevice",
  "defaultInput": "BuiltInMicrophoneDevice",
  "devices": [
    {
      "uid": "BuiltInSpeakerDevice",
      "name": "Built-in Speakers",
      "rate": 48000,
      "rates": [[44100, 44100], [48000, 48000], [88200, 96000]],
      "output": [2],
      "volume": {"0": 0.75}
    },
    {
      "uid": "StudioInterface",
      "name": "Studio Interface",
      "rate": 48000,
      "rates": [[44100, 44100], [48000, 48000], [88200, 88200], [96000, 96000]],
      "output": [2, 8],
      "input": [2],
      "layout": "AgBlAAAAAAAAAAAA",
      "volume": {"1": 1.0, "2": 1.0, "3": 0.8, "4": 0.8, "5": 0.8, "6": 0.8, "7": 0.8, "8": 0.8, "9": 0.5, "10": 0.5}
    },
    {
      "uid": "BuiltInMicrophoneDevice",
      "name": "Built-in Microphone",
      "rate": 48000,
      "rates": [[44100, 44100], [48000, 48000]],
      "input": [1]
    }
  ],
  "processes": [
    {"pid": 4101, "bundleId": "com.example.music", "playing": true, "devices": ["BuiltInSpeakerDevice"], "level": 0.5},
    {"pid": 4202, "bundleId": "com.example.browser", "playing": true, "devices": ["BuiltInSpeakerDevice"], "level": 0.25},
    {"pid": 4203, "bundleId": "com.example.browser", "playing": false, "devices": ["BuiltInSpeakerDevice"], "level": 0.25}
  ],
  "apps": [
    {"pid": 4101, "bundleId": "com.example.music", "name": "Music", "policy": 0},
    {"pid": 4202, "bundleId": "com.example.browser", "name": "Browser", "policy": 0}
  ],
  "tap": {"clock": "realtime"}
}
)";

}  // namespace

std::string builtInMachineText() {
    return builtIn;
}

}  // namespace sim
