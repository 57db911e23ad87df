// A machine and helpers for running sorvane-tap end to end.
#pragma once

#include "harness/harness.h"
#include "harness/lanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace tap_test {

using nlohmann::json;

constexpr int nope = 0x6E6F7065;  // 'nope'

inline json tap(json behaviour) { return {{"tap", std::move(behaviour)}}; }

// Output streams of 2 and 8 channels on the studio, and an unreadable one amid two stereo ones on
// "odd". The browser plays from itself and a helper, and has a silent process; x.host.helper
// belongs to the host.
inline json machine() {
    json odd = {{"uid", "odd"}, {"rate", 44100}, {"output", {2, {{"channels", 8}, {"fault", nope}}, 2}}};
    auto process = [](int pid, const char* bundle, bool playing, json devices, double level = 1) {
        return json{{"pid", pid}, {"bundleId", bundle}, {"playing", playing}, {"devices", devices}, {"level", level}};
    };
    return {{"devices",
             {{{"uid", "spk"}, {"name", "Speakers"}, {"rate", 48000}, {"output", {2}}},
              {{"uid", "studio"}, {"name", "Studio"}, {"rate", 44100}, {"output", {2, 8}}}, odd,
              {{"uid", "mic"}, {"name", "Mic"}, {"rate", 48000}, {"input", {2}}}}},
            {"defaultOutput", "spk"},
            {"processes",
             {process(501, "x.music", true, {"spk"}, 0.5), process(502, "x.browser", true, {"spk"}, 0.25),
              process(503, "x.browser.helper", true, {"spk"}, 0.125), process(504, "x.browser", false, {"spk"}, 1.0),
              process(505, "x.studio", true, {"studio", "odd"}, 0.75), process(506, "x.host.helper", true, {"spk"})}},
            {"apps", {{{"pid", "parent"}, {"bundleId", "x.host"}, {"name", "Host"}}}}};
}

// Merged into a machine: the test is a helper inside x.host's bundle, which the running-application
// lookup does not list; the helper's own bundle has an identifier of its own.
inline json hostHelper() {
    const std::string host = "/Applications/Host.app";
    const std::string helper = host + "/Contents/Frameworks/Host Helper.app";
    return {{"apps", {{{"pid", "parent"}, {"tracked", false}, {"path", helper + "/Contents/MacOS/Host Helper"}}}},
            {"bundles", {{host, "x.host"}, {helper, "x.renderer"}}}};
}

// The calls of these functions in the order they were made, each marked with its status unless 0.
inline std::vector<std::string> callsOf(const harness::Machine& machine, const std::vector<std::string>& fns) {
    std::vector<std::string> seen;
    for (const json& line : machine.log()) {
        // Compared as text: a JSON value against strings is ambiguous to clang under C++20.
        const json fn = harness::field(line, "fn");
        if (fn.is_string() && std::find(fns.begin(), fns.end(), fn.get<std::string>()) != fns.end()) {
            json status = harness::field(line, "status");
            seen.push_back(line["fn"].get<std::string>() + (status == 0 ? "" : " answered " + status.dump()));
        }
    }
    return seen;
}

// Of a capture of --bundle-id: the listeners of the tap's format, its device's stop, the service's
// restart and the process list.
inline const std::vector<std::string> teardown = {"AudioObjectRemovePropertyListener",
                                                  "AudioObjectRemovePropertyListener", "AudioObjectRemovePropertyListener",
                                                  "AudioObjectRemovePropertyListener",
                                                  "AudioDeviceStop", "AudioDeviceDestroyIOProcID",
                                                  "AudioHardwareDestroyAggregateDevice",
                                                  "AudioHardwareDestroyProcessTap"};

// A run of sorvane-tap past its first report, or ended (unless not `awaited`); nothing of its
// output has been read.
struct Capture {
    Capture(const json& description, const std::vector<std::string>& args, bool viaParent = false, bool awaited = true,
            const std::vector<int>& ignored = {})
        : machine(description), child(harness::program("sorvane-tap"), args, machine.env(), viaParent, ignored) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(awaited ? 10 : 0);
        while (child.error().find('\n') == std::string::npos && harness::stillRunning(child.pid()) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    harness::Machine machine;
    harness::Child child;
};

// Checks a captured stream against the tapped processes' sum: pair (left, left + 1) of stream frame
// i is app frame i plus the frames of every gap {at, frames} before it. The first mismatch fails.
inline void expectAppAudio(const std::string& pcm, const std::vector<double>& levels, int left,
                           const std::vector<std::pair<std::uint64_t, std::uint64_t>>& gaps, const std::string& what) {
    std::vector<float> stream(pcm.size() / sizeof(float));
    std::memcpy(stream.data(), pcm.data(), stream.size() * sizeof(float));
    for (std::size_t i = 0; i < stream.size(); ++i) {
        std::uint64_t frame = i / 2;
        for (const auto& [at, frames] : gaps) frame += i / 2 >= at ? frames : 0;
        double sum = 0;
        for (double level : levels) {
            sum += level * ((left + i % 2 + 1) / 16.0 + static_cast<double>(frame % 1000) / 1000000.0);
        }
        if (std::abs(stream[i] - sum) > 1e-6) {
            ADD_FAILURE() << what << ": " << stream[i] << " at frame " << i / 2 << (i % 2 ? " right" : " left");
            return;
        }
    }
}

// The one report line on standard error; null when there are none or more.
inline json onlyReport(const std::string& err) {
    return std::count(err.begin(), err.end(), '\n') == 1 ? json::parse(err, nullptr, false) : json();
}


}  // namespace tap_test
