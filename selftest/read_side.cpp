#include "selftest/read_side.h"

#include "selftest/lines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace selftest {
namespace {

using nlohmann::json;

// Why a side of a "settings" report is not of the documented form; empty when it is.
std::string sideFault(const json& side, bool output) {
    if (!side.is_object() || !text(side, "uid")) {
        return "has no \"uid\"";
    }
    std::set<std::string> known = {"uid", "name", "rate"};
    if (output) {
        known.insert({"layout", "volume"});
    }
    for (const auto& [key, value] : side.items()) {
        if (!known.count(key)) {
            return "has an unknown member \"" + key + "\"";
        }
    }
    if (side.contains("name") && !text(side, "name")) {
        return "has a \"name\" that is not text";
    }
    if (side.contains("rate") && !number(side, "rate")) {
        return "has a \"rate\" that is not a number";
    }
    if (side.contains("layout") && !text(side, "layout")) {
        return "has a \"layout\" that is not text";
    }
    if (output) {
        auto volume = side.find("volume");
        if (volume == side.end() || !volume->is_object()) {
            return "has no \"volume\" object";
        }
        for (const auto& [channel, value] : volume->items()) {
            if (!value.is_number() || value.get<double>() < 0 || value.get<double>() > 1) {
                return "has a volume of channel " + channel + " outside 0 to 1";
            }
        }
    }
    return "";
}

std::string deviceFault(const json& device) {
    if (!device.is_object() || device.size() != 6 || !text(device, "uid") || !text(device, "name") ||
        !device.contains("outputs") || !device["outputs"].is_number_unsigned() || !device.contains("inputs") ||
        !device["inputs"].is_number_unsigned() || !number(device, "rate") || !device.contains("rates") ||
        !device["rates"].is_array()) {
        return "is not a device record: " + device.dump();
    }
    for (const auto& rate : device["rates"]) {
        if (!rate.is_number()) {
            return "has a rate that is not a number: " + device.dump();
        }
    }
    return "";
}

// The "settings" object of a file holding one "--read" report; nothing when it holds no such.
std::optional<json> readSettings(const std::string& read) {
    auto lines = readLines(read);
    if (!lines || lines->size() != 1) {
        return std::nullopt;
    }
    const json& report = lines->front();
    auto settings = report.find("settings");
    if (!report.is_object() || report.size() != 2 || text(report, "type") != "settings" || settings == report.end() ||
        !settings->is_object()) {
        return std::nullopt;
    }
    return *settings;
}

bool hasRole(const std::vector<json>& devices, const std::string& uid, const char* count) {
    for (const auto& device : devices) {
        if (text(device, "uid") == uid && device[count].get<unsigned>() > 0) {
            return true;
        }
    }
    return false;
}

int print(const json& settings) {
    std::printf("%s\n", settings.dump().c_str());
    return 0;
}

// Every change the machine offers, in the order they are tried. A device that cannot be the
// default shows only when the switch skips it, so each other output comes before the rate and
// the volume of the output itself.
std::vector<json> changes(const json& output, std::vector<json> records) {
    const std::string uid = text(output, "uid").value_or("");
    std::erase_if(records, [](const json& device) { return !deviceFault(device).empty(); });
    std::vector<json> found;
    for (const auto& device : records) {
        if (text(device, "uid") != uid && device["outputs"].get<unsigned>() > 0) {
            found.push_back({{"output", {{"uid", *text(device, "uid")}, {"name", *text(device, "name")}}}});
        }
    }
    auto rate = number(output, "rate");
    for (const auto& device : records) {
        if (!rate || text(device, "uid") != uid) {
            continue;
        }
        auto other = std::find_if(device["rates"].begin(), device["rates"].end(), [&](const json& r) {
            return r.is_number() && std::fabs(r.get<double>() - *rate) > 0.5;
        });
        if (other != device["rates"].end()) {
            found.push_back({{"output", {{"uid", uid}, {"rate", *other}}}});
        }
        break;
    }
    json volume = output.contains("volume") ? output["volume"] : json::object();
    for (const auto& [channel, value] : volume.items()) {
        if (!value.is_number()) {
            continue;
        }
        double now = value.get<double>();
        // Quieter rather than louder, since on a Mac this is heard.
        double other = now >= 0.1 ? now / 2 : now + 0.1;
        found.push_back({{"output", {{"uid", uid}, {"volume", {{channel, other}}}}}});
        break;
    }
    return found;
}

}  // namespace

int checkReadSide(const std::string& backend, const std::string& read, const std::string& devices) {
    auto name = readFile(backend);
    if (!name || name->empty() || name->back() != '\n' || name->find('\n') != name->size() - 1) {
        return failed("--backend did not answer one line of text");
    }
    auto settings = readSettings(read);
    if (!settings) {
        return failed("--read did not answer one \"settings\" report: " + readFile(read).value_or(""));
    }
    for (const auto& [role, side] : settings->items()) {
        if (role != "output" && role != "input") {
            return failed("--read has an unknown side \"" + role + "\"");
        }
        if (auto fault = sideFault(side, role == "output"); !fault.empty()) {
            return failed("--read's " + role + " " + fault);
        }
    }
    auto records = readLines(devices);
    if (!records) {
        return failed("--devices answered nothing readable");
    }
    for (const auto& device : *records) {
        if (auto fault = deviceFault(device); !fault.empty()) {
            return failed("a line of --devices " + fault);
        }
    }
    for (const auto& [role, count] : {std::pair{"output", "outputs"}, std::pair{"input", "inputs"}}) {
        if (settings->contains(role) && !hasRole(*records, *text((*settings)[role], "uid"), count)) {
            return failed("--read's default " + std::string(role) + " " + *text((*settings)[role], "uid") +
                          " is not an " + role + " of --devices");
        }
    }
    return 0;
}

int settingsAsTheyAre(const std::string& read) {
    auto settings = readSettings(read);
    if (!settings || settings->empty()) {
        std::printf("--read named no default device to keep\n");
        return 2;
    }
    return print(*settings);
}

int hasOutput(const std::string& read) {
    auto settings = readSettings(read);
    if (!settings || !settings->contains("output")) {
        std::printf("there is no default output to play the tone on\n");
        return 2;
    }
    return 0;
}

int settingsThatChange(const std::string& read, const std::string& devices, long skip) {
    auto settings = readSettings(read);
    auto records = readLines(devices);
    if (!settings || !records || !settings->contains("output")) {
        std::printf("there is no default output to switch away from\n");
        return 2;
    }
    auto offered = changes((*settings)["output"], *records);
    if (offered.empty()) {
        std::printf("the machine has one output device, with one rate and no volume control\n");
        return 2;
    }
    if (skip < 0 || static_cast<size_t>(skip) >= offered.size()) {
        std::printf("no change is left to try\n");
        return 2;
    }
    return print(offered[static_cast<size_t>(skip)]);
}

}  // namespace selftest
