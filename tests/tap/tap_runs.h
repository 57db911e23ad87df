// Machines and helpers for running sorvane-tap end to end.
#pragma once

#include "harness/harness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tap_test {

using nlohmann::json;

// Speakers (the default output), a studio interface with output streams of 2 and 8 channels, a
// microphone without output streams; a music player and a browser with two audio processes,
// one of them silent.
inline json machine() {
    return {
        {"devices",
         {{{"uid", "spk"}, {"name", "Speakers"}, {"rate", 48000}, {"output", {2}}},
          {{"uid", "studio"}, {"name", "Studio"}, {"rate", 44100}, {"output", {2, 8}}},
          {{"uid", "mic"}, {"name", "Mic"}, {"rate", 48000}, {"input", {2}}}}},
        {"defaultOutput", "spk"},
        {"processes",
         {{{"pid", 501}, {"bundleId", "x.music"}, {"playing", true}, {"devices", {"spk"}}, {"level", 0.5}},
          {{"pid", 502}, {"bundleId", "x.browser"}, {"playing", true}, {"devices", {"spk"}}, {"level", 0.25}},
          {{"pid", 503}, {"bundleId", "x.browser"}, {"playing", true}, {"devices", {"spk"}}, {"level", 0.125}},
          {{"pid", 504}, {"bundleId", "x.browser"}, {"playing", false}, {"devices", {"spk"}}, {"level", 1.0}},
          {{"pid", 505}, {"bundleId", "x.studio"}, {"playing", true}, {"devices", {"studio"}}, {"level", 0.75}},
          {{"pid", 506}, {"bundleId", "x.host.helper"}, {"playing", true}, {"devices", {"spk"}}}}},
        {"apps", {{{"pid", "parent"}, {"bundleId", "x.host"}, {"name", "Host"}}}},
    };
}

// The machine with the tap's behaviour changed.
inline json withTap(json tap, json base = machine()) {
    base["tap"] = std::move(tap);
    return base;
}

// Sample of one process's audio: channel c of frame n, as the platform computes it.
inline double sample(double level, int channel, std::uint64_t frame) {
    return level * ((channel + 1) / 16.0 + static_cast<double>(frame % 1000) / 1000000.0);
}

inline std::vector<float> floats(const std::string& bytes) {
    std::vector<float> values(bytes.size() / sizeof(float));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
    return values;
}

// Checks a stereo stream frame by frame against the processes' sum at two process channels,
// from frame `start`; stops at the first mismatch.
inline void expectFrames(const std::vector<float>& stream, const std::vector<double>& levels, int left, int right,
                         std::uint64_t start = 0) {
    ASSERT_EQ(stream.size() % 2, 0u);
    for (std::size_t i = 0; i < stream.size() / 2; ++i) {
        double l = 0, r = 0;
        for (double level : levels) {
            l += sample(level, left, start + i);
            r += sample(level, right, start + i);
        }
        ASSERT_NEAR(stream[2 * i], l, 1e-6) << "left of frame " << start + i;
        ASSERT_NEAR(stream[2 * i + 1], r, 1e-6) << "right of frame " << start + i;
    }
}

inline harness::Result runTap(const harness::Machine& machine, const std::vector<std::string>& args) {
    harness::Options options;
    options.env = machine.env();
    return harness::run(harness::program("sorvane-tap"), args, options);
}

// The "fn" of every call log line, in order.
inline std::vector<std::string> calls(const harness::Machine& machine) {
    std::vector<std::string> names;
    for (const json& line : machine.log()) {
        names.push_back(line.value("fn", ""));
    }
    return names;
}

// The first log line of that function, or null.
inline json firstCall(const harness::Machine& machine, const std::string& fn) {
    for (const json& line : machine.log()) {
        if (line.value("fn", "") == fn) {
            return line;
        }
    }
    return nullptr;
}

// The stop and destroy calls in the log, in the order they were made.
inline std::vector<std::string> teardown(const harness::Machine& machine) {
    std::vector<std::string> seen;
    for (const std::string& fn : calls(machine)) {
        if (fn == "AudioDeviceStop" || fn == "AudioDeviceDestroyIOProcID" || fn == "AudioHardwareDestroyAggregateDevice" ||
            fn == "AudioHardwareDestroyProcessTap") {
            seen.push_back(fn);
        }
    }
    return seen;
}

inline const std::vector<std::string> orderedTeardown = {"AudioDeviceStop", "AudioDeviceDestroyIOProcID",
                                                         "AudioHardwareDestroyAggregateDevice",
                                                         "AudioHardwareDestroyProcessTap"};

}  // namespace tap_test
