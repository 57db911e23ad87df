// Runs of sorvane-sound against a small studio machine and a settings folder.
#pragma once

#include "harness/harness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sound_test {

using nlohmann::json;

constexpr const char* layoutA = "AgBlAAAAAAAAAAAA";
constexpr const char* layoutB = "AwBlAAAAAAAAAAAA";

// Speakers and a microphone are the defaults; the studio and the headset have both sides. Every
// write takes `delayMs`.
inline json studioMachine(double delayMs = 0) {
    return {{"defaultOutput", "spk"}, {"defaultInput", "mic"}, {"setDelayMs", delayMs},
            {"devices",
             {{{"uid", "spk"}, {"name", "Speakers"}, {"rate", 44100}, {"output", {2}}, {"volume", {{"0", 0.75}}}},
              {{"uid", "studio"}, {"name", "Studio"}, {"rate", 48000},
               {"rates", {{44100, 44100}, {48000, 48000}, {96000, 96000}}}, {"output", {2}}, {"input", {2}},
               {"layout", layoutA}, {"volume", {{"1", 1.0}, {"2", 0.5}}}},
              {{"uid", "mic"}, {"name", "Mic"}, {"rate", 44100}, {"input", {1}}},
              {{"uid", "headset"}, {"name", "Headset"}, {"rate", 16000}, {"output", {1}}, {"input", {1}},
               {"volume", {{"0", 0.25}}}}}}};
}

// The host's usual wish: everything on the studio interface, changed in every setting.
inline json studioWanted() {
    return {{"output", {{"uid", "studio"}, {"name", "Studio"}, {"rate", 96000}, {"layout", layoutB},
                        {"volume", {{"1", 0.25}, {"2", 0.125}}}}},
            {"input", {{"uid", "studio"}, {"name", "Studio"}}}};
}

inline json restoredReport(const std::vector<std::string>& applied, const std::vector<std::string>& skipped) {
    return {{"type", "restored"}, {"applied", applied}, {"skipped", skipped}};
}

// What a switch to studioWanted() applies, and what its restore applies.
inline const std::vector<std::string> studioApplied = {
    "the output Studio as the default", "the output Studio at 96000 Hz", "the output Studio's channel layout",
    "the output Studio's volume",       "the output Studio's volume",    "the input Studio as the default"};
inline const std::vector<std::string> studioRestored = {
    "Studio at 48000 Hz", "Studio's channel layout", "Studio's volume", "Studio's volume",
    "the output Speakers as the default", "the input Mic as the default"};
inline const json studioSwitched = {
    {"type", "switched"}, {"snapshot", "taken"}, {"applied", studioApplied}, {"skipped", json::array()}};
inline const std::string nothingRestored = restoredReport({}, {"no snapshot to put back"}).dump() + "\n";

inline std::string errorLine(const std::string& message) {
    return json{{"message", message}, {"type", "error"}}.dump() + "\n";
}

// The machine without that device: it was unplugged.
inline json without(json machine, const std::string& uid) {
    json& devices = machine["devices"];
    devices.erase(std::remove_if(devices.begin(), devices.end(), [&](const json& d) { return d["uid"] == uid; }),
                  devices.end());
    return machine;
}

inline harness::Result sound(const harness::Machine& machine, const std::vector<std::string>& args,
                             std::optional<std::string> input = std::nullopt, double timeoutSeconds = 20) {
    return harness::run(harness::program("sorvane-sound"), args,
                        {.env = machine.env(), .input = std::move(input), .timeoutSeconds = timeoutSeconds});
}

// One parsed report line; null when the line is missing or not JSON.
inline json parsed(const std::optional<std::string>& line) {
    return line ? json::parse(*line, nullptr, false) : json();
}

// What a switch may change and a restore must put back.
inline json soundState(const harness::Machine& machine) {
    json state = machine.state(), kept = {{"defaultOutput", state.value("defaultOutput", json())},
                                          {"defaultInput", state.value("defaultInput", json())}};
    for (const auto& d : state.value("devices", json::array())) {
        kept["devices"][d.value("uid", "")] = {{"rate", d.value("rate", json())}, {"layout", d.value("layout", json())},
                                               {"volume", d.value("volume", json::object())}};
    }
    return kept;
}


// A machine, and a folder holding the host's settings (none when null); the state from before.
struct Stage {
    harness::Machine machine;
    harness::TempDir dir;
    json before;

    explicit Stage(const json& wanted = studioWanted(), const json& description = studioMachine())
        : machine(description), before(soundState(machine)) {
        if (!wanted.is_null()) harness::writeFile(dir.file("sorvane.json"), wanted.dump());
    }
    std::string file(const std::string& name) const { return dir.file(name); }
};

inline harness::Child startSwitch(const Stage& stage, bool viaParent = false) {
    return {harness::program("sorvane-sound"), {"--switch", stage.dir.path()}, stage.machine.env(), viaParent};
}

// A "--switch" run held open, its "switched" report read on start.
struct Switch {
    harness::Child child;
    json switched;

    explicit Switch(const Stage& stage) : child(startSwitch(stage)), switched(parsed(child.readLine())) {}
    // Asks for the restore and waits for the end: the "restored" report, null when none came.
    json restore() {
        child.write("restore\n");
        json restored = parsed(child.readLine());
        EXPECT_EQ(child.wait(), 0);
        return restored;
    }
};

// Polls for the mark, which a switch writes before it applies anything.
inline void waitForMark(const Stage& stage) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!harness::exists(stage.file("switched")) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

// From `lines` on the run writes the studio switch, then one restore of it and nothing else; it
// exits 0 and leaves the machine as before.
inline void expectSwitchedThenRestoredOnce(const Stage& stage, harness::Child& child, std::vector<json> lines,
                                           const std::string& what) {
    while (auto line = child.readLine(15)) lines.push_back(parsed(line));
    EXPECT_EQ(json(lines), json::array({studioSwitched, restoredReport(studioRestored, {})})) << what;
    EXPECT_EQ(child.wait(), 0) << what;
    EXPECT_EQ(child.error(), "") << what;
    EXPECT_EQ(soundState(stage.machine), stage.before) << what;
    EXPECT_FALSE(harness::exists(stage.file("switched"))) << what;
}

}  // namespace sound_test
