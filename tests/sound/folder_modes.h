// Shared ground for the end-to-end tests of "--save", "--switch" and "--restore": a small studio
// machine, the host's settings for it, and the parts of the machine state a switch may change.
#pragma once

#include "harness/harness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace folder_test {

using nlohmann::json;

constexpr const char* layoutA = "AgBlAAAAAAAAAAAA";
constexpr const char* layoutB = "AwBlAAAAAAAAAAAA";

// Speakers and a microphone are the defaults; the studio interface has both sides, a layout and
// two channel volumes; the headset has both sides and a main volume.
inline json studioMachine() {
    return {
        {"defaultOutput", "spk"},
        {"defaultInput", "mic"},
        {"devices",
         {
             {{"uid", "spk"}, {"name", "Speakers"}, {"rate", 44100}, {"output", {2}}, {"volume", {{"0", 0.75}}}},
             {{"uid", "studio"},
              {"name", "Studio"},
              {"rate", 48000},
              {"rates", {{44100, 44100}, {48000, 48000}, {96000, 96000}}},
              {"output", {2}},
              {"input", {2}},
              {"layout", layoutA},
              {"volume", {{"1", 1.0}, {"2", 0.5}}}},
             {{"uid", "mic"}, {"name", "Mic"}, {"rate", 44100}, {"input", {1}}},
             {{"uid", "headset"}, {"name", "Headset"}, {"rate", 16000}, {"output", {1}}, {"input", {1}},
              {"volume", {{"0", 0.25}}}},
         }},
    };
}

// The host's usual wish: everything on the studio interface, changed in every setting.
inline json studioWanted() {
    return {{"output", {{"uid", "studio"}, {"name", "Studio"}, {"rate", 96000}, {"layout", layoutB},
                        {"volume", {{"1", 0.25}, {"2", 0.125}}}}},
            {"input", {{"uid", "studio"}, {"name", "Studio"}}}};
}

inline harness::Result sound(const harness::Machine& machine, const std::vector<std::string>& args,
                             std::optional<std::string> input = std::nullopt, double timeoutSeconds = 20) {
    return harness::run(harness::program("sorvane-sound"), args,
                        {.env = machine.env(), .input = std::move(input), .timeoutSeconds = timeoutSeconds});
}

// The report written when a run fails.
inline std::string errorLine(const std::string& message) {
    return json{{"message", message}, {"type", "error"}}.dump() + "\n";
}

// Puts the host's settings in the folder through "--save"; false when that did not work.
inline bool saveSettings(const harness::Machine& machine, const std::string& dir, const json& wanted) {
    auto result = sound(machine, {"--save", dir}, wanted.dump() + "\n");
    EXPECT_EQ(result.out, "{\"type\":\"saved\"}\n") << wanted.dump();
    return result.status == 0;
}

// What a switch may change and a restore must put back: the defaults, and every device's rate,
// layout and volumes.
inline json soundState(const harness::Machine& machine) {
    json state = machine.state();
    json kept = {{"defaultOutput", state.value("defaultOutput", json())},
                 {"defaultInput", state.value("defaultInput", json())},
                 {"devices", json::object()}};
    for (const auto& device : state.value("devices", json::array())) {
        kept["devices"][device.value("uid", "")] = {{"rate", device.value("rate", json())},
                                                    {"layout", device.value("layout", json())},
                                                    {"volume", device.value("volume", json::object())}};
    }
    return kept;
}

// Takes the device out of the machine, as if it had been unplugged.
inline void unplug(harness::Machine& machine, const std::string& uid) {
    json state = machine.state();
    json kept = json::array();
    for (const auto& device : state["devices"]) {
        if (device.value("uid", "") != uid) {
            kept.push_back(device);
        }
    }
    state["devices"] = kept;
    machine.write(state);
}

// One parsed report line; null when the line is missing or not JSON.
inline json parsed(const std::optional<std::string>& line) {
    return line ? json::parse(*line, nullptr, false) : json();
}

inline json restoredReport(const std::vector<std::string>& applied, const std::vector<std::string>& skipped) {
    return {{"type", "restored"}, {"applied", applied}, {"skipped", skipped}};
}

// A "--switch" run held open: its "switched" report is read on start.
struct Switch {
    harness::Child child;
    json switched;

    Switch(const harness::Machine& machine, const std::string& dir, bool viaParent = false)
        : child(harness::program("sorvane-sound"), {"--switch", dir}, machine.env(), viaParent),
          switched(parsed(child.readLine())) {}

    // Asks for the restore; the "restored" report, null when none came.
    json restore() {
        child.write("restore\n");
        return parsed(child.readLine());
    }
};

// Switches to the folder's settings and restores at once: the two reports and the exit status.
struct Round {
    json switched, restored;
    std::optional<int> status;
    std::string rest;  // anything written after the "restored" report
};

inline Round switchAndRestore(const harness::Machine& machine, const std::string& dir) {
    Switch run(machine, dir);
    Round round{run.switched, run.restore(), std::nullopt, ""};
    round.status = run.child.wait();
    round.rest = run.child.restOfOutput();
    return round;
}

}  // namespace folder_test
