// One machine that every mode of both programs can run on, and the same machine with each platform
// call the programs make failed in turn: an error status, a missing property, a property that
// cannot be set, a string that reads as null.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace harness {

struct FaultCase {
    std::string name;
    nlohmann::json machine;
};

constexpr int faultStatus = 0x6E6F7065;  // 'nope'

// Speakers and a studio interface with two output streams (the default output and input), a
// microphone; a music player on the speakers and a studio app on the interface; the test process
// is the host. Captures run on a fast clock and stop delivering after a few cycles.
inline nlohmann::json faultBaseMachine() {
    using nlohmann::json;
    return {
        {"defaultOutput", "spk"},
        {"defaultInput", "mic"},
        {"devices",
         {{{"uid", "spk"}, {"name", "Speakers"}, {"rate", 44100}, {"rates", {{44100, 48000}}}, {"output", {2}},
           {"volume", {{"0", 0.75}}}},
          {{"uid", "studio"},
           {"name", "Studio"},
           {"rate", 48000},
           {"rates", {{44100, 44100}, {48000, 48000}, {96000, 96000}}},
           {"output", {2, 8}},
           {"input", {2}},
           {"layout", "AgBlAAAAAAAAAAAA"},
           {"volume", {{"1", 1.0}, {"2", 0.5}}}},
          {{"uid", "mic"}, {"name", "Mic"}, {"rate", 44100}, {"input", {1}}}}},
        {"processes",
         {{{"pid", 501}, {"bundleId", "x.music"}, {"playing", true}, {"devices", {"spk"}}},
          {{"pid", 505}, {"bundleId", "x.studio"}, {"playing", true}, {"devices", {"studio"}}}}},
        {"apps",
         {{{"pid", "parent"}, {"bundleId", "x.host"}, {"name", "Host"}},
          {{"pid", 501}, {"bundleId", "x.music"}, {"name", "Music"}}}},
        {"tap", {{"clock", "fast"}, {"cycles", 4}}},
    };
}

// The host's settings that a switch on the base machine applies: the studio interface for both
// roles, every setting changed.
inline nlohmann::json faultWantedSettings() {
    return {{"output", {{"uid", "studio"}, {"rate", 96000}, {"layout", "AwBlAAAAAAAAAAAA"},
                        {"volume", {{"1", 0.25}, {"2", 0.125}}}}},
            {"input", {{"uid", "studio"}, {"rate", 44100}}}};
}

// The base machine without faults first, then one case per failed call.
inline std::vector<FaultCase> platformFaults() {
    using nlohmann::json;
    std::vector<FaultCase> cases{{"no fault", faultBaseMachine()}};
    auto add = [&](const std::string& name, const std::function<void(json&)>& change) {
        json machine = faultBaseMachine();
        change(machine);
        cases.push_back({name, machine});
    };
    struct Selector {
        const char* code;
        bool settable, text;
    };
    auto kindsOf = [](const Selector& s) {
        std::vector<json> kinds = {faultStatus, "absent"};
        if (s.settable) kinds.push_back("readonly");
        if (s.text) kinds.push_back("null");
        return kinds;
    };
    // Every device at once, so whichever device a mode looks at meets the fault.
    for (const Selector& s : {Selector{"uid ", false, true}, Selector{"lnam", false, true}, Selector{"nsrt", true, false},
                              Selector{"nsr#", false, false}, Selector{"slay", false, false},
                              Selector{"stm#", false, false}, Selector{"srnd", true, false},
                              Selector{"volm", true, false}}) {
        for (const json& kind : kindsOf(s)) {
            add(std::string("devices '") + s.code + "' " + kind.dump(), [&](json& m) {
                for (json& device : m["devices"]) {
                    device["faults"][s.code] = kind;
                }
            });
        }
    }
    add("studio's streams 'sfmt'", [](json& m) {
        m["devices"][1]["output"] = {{{"channels", 2}, {"fault", faultStatus}}, {{"channels", 8}, {"fault", faultStatus}}};
    });
    for (const Selector& s : {Selector{"ppid", false, false}, Selector{"pbid", false, true},
                              Selector{"piro", false, false}, Selector{"pdv#", false, false}}) {
        for (const json& kind : kindsOf(s)) {
            add(std::string("processes '") + s.code + "' " + kind.dump(), [&](json& m) {
                for (json& process : m["processes"]) {
                    process["faults"][s.code] = kind;
                }
            });
        }
    }
    for (const Selector& s : {Selector{"dev#", false, false}, Selector{"dOut", true, false},
                              Selector{"dIn ", true, false}, Selector{"uidd", false, false},
                              Selector{"prs#", false, false}, Selector{"id2p", false, false}}) {
        for (const json& kind : kindsOf(s)) {
            add(std::string("system '") + s.code + "' " + kind.dump(), [&](json& m) { m["faults"][s.code] = kind; });
        }
    }
    for (const char* step : {"create", "aggregate", "ioproc", "start"}) {
        add(std::string("tap ") + step, [&](json& m) { m["tap"]["faults"][step] = faultStatus; });
    }
    return cases;
}

// True when `text` is nothing but whole lines, each one JSON object.
inline bool onlyJsonLines(const std::string& text, std::string& bad) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            bad = "unfinished line: " + text.substr(start);
            return false;
        }
        std::string line = text.substr(start, end - start);
        auto value = nlohmann::json::parse(line, nullptr, false);
        if (!value.is_object()) {
            bad = "not one JSON object: " + line;
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace harness
