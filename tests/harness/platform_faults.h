// One machine that every mode of both programs can run on, and the same machine with each platform
// call the programs make failed in turn: an error status, a missing property, a property that
// cannot be set, a string that reads as null.
#pragma once

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace harness {

struct FaultCase {
    std::string name;
    nlohmann::json machine;
};

// Speakers and a studio interface with two output streams (the default output and input), a
// microphone; a music player on the speakers and a studio app on the interface; the test process
// is the host. Captures run on a fast clock and stop delivering after a few cycles.
inline nlohmann::json faultBaseMachine() {
    return nlohmann::json::parse(R"({"defaultOutput": "spk", "defaultInput": "mic",
      "devices": [
        {"uid": "spk", "name": "Speakers", "rate": 44100, "rates": [[44100, 48000]], "output": [2],
         "volume": {"0": 0.75}},
        {"uid": "studio", "name": "Studio", "rate": 48000, "rates": [[44100, 44100], [48000, 48000], [96000, 96000]],
         "output": [2, 8], "input": [2], "layout": "AgBlAAAAAAAAAAAA", "volume": {"1": 1.0, "2": 0.5}},
        {"uid": "mic", "name": "Mic", "rate": 44100, "input": [1]}],
      "processes": [{"pid": 501, "bundleId": "x.music", "playing": true, "devices": ["spk"]},
                    {"pid": 505, "bundleId": "x.studio", "playing": true, "devices": ["studio"]}],
      "apps": [{"pid": "parent", "bundleId": "x.host", "name": "Host"},
               {"pid": 501, "bundleId": "x.music", "name": "Music"}],
      "tap": {"clock": "fast", "cycles": 4}})");
}

// The host's settings that a switch on the base machine applies: the studio interface for both
// roles, every setting changed.
inline nlohmann::json faultWantedSettings() {
    return {{"output", {{"uid", "studio"}, {"rate", 96000}, {"layout", "AwBlAAAAAAAAAAAA"},
                        {"volume", {{"1", 0.25}, {"2", 0.125}}}}},
            {"input", {{"uid", "studio"}, {"rate", 44100}}}};
}

// The base machine without faults first, then one case per failed call that `program` makes:
// a fault in a property it never reads could not fail it.
inline std::vector<FaultCase> platformFaults(const std::string& program) {
    using nlohmann::json;
    std::vector<FaultCase> cases{{"no fault", faultBaseMachine()}};
    // Where, which, how it fails (s: an error status 'nope', a: absent, r: cannot be set, n: a null string)
    // and who reads it. Every device or process at once, so whichever one a mode looks at meets it.
    const char* const selectors[][4] = {
        {"devices", "uid ", "san", "sound tap"}, {"devices", "lnam", "san", "sound tap"},
        {"devices", "nsrt", "sar", "sound"},     {"devices", "nsr#", "sa", "sound"},
        {"devices", "slay", "sa", "sound"},      {"devices", "srnd", "sar", "sound"},
        {"devices", "volm", "sar", "sound"},     {"devices", "stm#", "sa", "tap"},
        {"processes", "ppid", "sa", "tap"},      {"processes", "pbid", "san", "tap"},
        {"processes", "piro", "sa", "tap"},      {"processes", "pdv#", "sa", "tap"},
        {"system", "dev#", "sa", "sound"},       {"system", "dOut", "sar", "sound"},
        {"system", "dIn ", "sar", "sound"},      {"system", "uidd", "sa", "sound tap"},
        {"system", "prs#", "sa", "tap"},         {"system", "id2p", "sa", "tap"}};
    for (const auto& [where, code, ways, readers] : selectors) {
        if (std::string(readers).find(program == "sorvane-tap" ? "tap" : "sound") == std::string::npos) {
            continue;
        }
        for (const char* way = ways; *way; ++way) {
            json kind = *way == 's' ? json(0x6E6F7065) : *way == 'a' ? "absent" : *way == 'r' ? "readonly" : "null";
            json machine = faultBaseMachine();
            if (std::string(where) == "system") {
                machine["faults"][code] = kind;
            } else {
                for (json& object : machine[where]) object["faults"][code] = kind;
            }
            cases.push_back({std::string(where) + " '" + code + "' " + kind.dump(), machine});
        }
    }
    return cases;
}

// True when `text` is nothing but whole lines, each one JSON object.
inline bool onlyJsonLines(const std::string& text, std::string& bad) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!nlohmann::json::parse(line, nullptr, false).is_object()) {
            bad = "not one JSON object: " + line;
            return false;
        }
    }
    bad = "an unfinished last line";
    return text.empty() || text.back() == '\n';
}

}  // namespace harness
