#include "selftest/machine.h"

#include "selftest/lines.h"

#include <cstdio>
#include <fstream>

namespace selftest {
namespace {

// Member order kept as written: "uid" leads each device, one member a line.
using json = nlohmann::ordered_json;

// Written beside the file, then renamed over it: the programs never read half a machine.
bool replace(const std::string& path, const json& machine) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << machine.dump(2) << '\n';
        if (!out.flush()) {
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

bool writeMachine(const std::string& path) {
    json machine = json::parse(R"({
        "defaultOutput": "spk",
        "defaultInput": "mic",
        "devices": [
            {"uid": "spk", "name": "Speakers", "rate": 48000, "rates": [[44100, 44100], [48000, 48000]],
             "output": [2], "volume": {"0": 0.75}},
            {"uid": "studio", "name": "Studio Interface", "rate": 96000, "rates": [[44100, 192000]],
             "output": [2, 2], "input": [2], "volume": {"1": 0.5, "2": 0.5}},
            {"uid": "mic", "name": "Microphone", "rate": 48000, "input": [1]}
        ],
        "processes": []
    })", nullptr, false);
    return replace(path, machine);
}

bool addPlayer(const std::string& path, long pid) {
    auto content = readFile(path);
    if (!content) {
        return false;
    }
    auto machine = json::parse(*content, nullptr, false);
    if (!machine.is_object()) {
        return false;
    }
    json player = {{"pid", pid}, {"playing", true}, {"devices", json::array()}};
    if (machine.contains("defaultOutput") && machine["defaultOutput"].is_string()) {
        player["devices"].push_back(machine["defaultOutput"]);
    }
    if (!machine.contains("processes") || !machine["processes"].is_array()) {
        machine["processes"] = json::array();
    }
    machine["processes"].push_back(player);
    return replace(path, machine);
}

}  // namespace selftest
