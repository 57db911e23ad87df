#include "sim/machine_parse.h"

#include "sim/base64.h"
#include "sim/machine_reader.h"

#include <cstdint>
#include <limits>
#include <set>

namespace sim {

namespace {

// Identifier ranges leave room for this many objects of each kind.
constexpr std::size_t maxDevices = 900;
constexpr std::size_t maxStreams = 999;
constexpr std::size_t maxProcesses = 98999;

std::optional<UInt32> elementNumber(const std::string& key) {
    if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == '0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > std::numeric_limits<UInt32>::max()) {
        return std::nullopt;
    }
    return UInt32(value);
}

bool isVersion(const std::string& text) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == start || i - start > 6) return false;
        ++parts;
        if (i == text.size()) return parts <= 3;
        if (text[i] != '.') return false;
        ++i;
    }
}

std::optional<std::vector<Stream>> readStreams(Reader& r, const Document& v, const std::string& where) {
    if (!v.is_array()) {
        r.fail(where, "is not an array");
        return std::nullopt;
    }
    if (v.size() > maxStreams) {
        r.fail(where, "has more than " + std::to_string(maxStreams) + " streams");
        return std::nullopt;
    }
    std::vector<Stream> out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string at = where + "[" + std::to_string(i) + "]";
        const Document& s = v[i];
        Stream stream;
        if (s.is_object()) {
            if (!r.object(s, at, {"channels", "fault"})) return std::nullopt;
            const auto channels = s.find("channels");
            if (channels == s.end()) {
                r.fail(at, "has no \"channels\"");
                return std::nullopt;
            }
            const auto count = r.integer(*channels, at + ".channels", 0, 256);
            if (!count) return std::nullopt;
            stream.channels = UInt32(*count);
            if (const auto f = s.find("fault"); f != s.end()) {
                stream.fault = r.fault(*f, at + ".fault");
                if (!stream.fault) return std::nullopt;
            }
        } else {
            const auto count = r.integer(s, at, 0, 256);
            if (!count) return std::nullopt;
            stream.channels = UInt32(*count);
        }
        out.push_back(stream);
    }
    return out;
}

std::optional<Device> readDevice(Reader& r, const Document& v, const std::string& at) {
    if (!r.object(v, at, {"uid", "name", "rate", "rates", "output", "input", "layout", "volume", "faults"})) {
        return std::nullopt;
    }
    Device d;
    const auto uid = v.find("uid");
    if (uid == v.end()) {
        r.fail(at, "has no \"uid\"");
        return std::nullopt;
    }
    if (auto s = r.string(*uid, at + ".uid")) d.uid = *s; else return std::nullopt;
    if (auto it = v.find("name"); it != v.end()) {
        d.name = r.string(*it, at + ".name");
        if (!d.name) return std::nullopt;
    }
    if (auto it = v.find("rate"); it != v.end()) {
        d.rate = r.number(*it, at + ".rate");
        if (!d.rate) return std::nullopt;
    }
    if (auto it = v.find("rates"); it != v.end()) {
        if (!it->is_array()) {
            r.fail(at + ".rates", "is not an array");
            return std::nullopt;
        }
        d.rates.emplace();
        for (std::size_t i = 0; i < it->size(); ++i) {
            const std::string where = at + ".rates[" + std::to_string(i) + "]";
            const Document& pair = (*it)[i];
            if (!pair.is_array() || pair.size() != 2) {
                r.fail(where, "is not a [minimum, maximum] pair");
                return std::nullopt;
            }
            const auto lo = r.number(pair[0], where + "[0]");
            const auto hi = lo ? r.number(pair[1], where + "[1]") : std::nullopt;
            if (!hi) return std::nullopt;
            if (*lo > *hi) {
                r.fail(where, "has its minimum above its maximum");
                return std::nullopt;
            }
            d.rates->emplace_back(*lo, *hi);
        }
    }
    if (auto it = v.find("output"); it != v.end()) {
        auto streams = readStreams(r, *it, at + ".output");
        if (!streams) return std::nullopt;
        d.output = std::move(*streams);
    }
    if (auto it = v.find("input"); it != v.end()) {
        auto streams = readStreams(r, *it, at + ".input");
        if (!streams) return std::nullopt;
        d.input = std::move(*streams);
    }
    if (d.output.size() + d.input.size() > maxStreams) {
        r.fail(at, "has more than " + std::to_string(maxStreams) + " streams");
        return std::nullopt;
    }
    if (auto it = v.find("layout"); it != v.end()) {
        const auto text = r.string(*it, at + ".layout");
        if (!text) return std::nullopt;
        d.layout = base64::decode(*text);
        if (!d.layout) {
            r.fail(at + ".layout", "is not valid base64");
            return std::nullopt;
        }
    }
    if (auto it = v.find("volume"); it != v.end()) {
        if (!it->is_object()) {
            r.fail(at + ".volume", "is not an object");
            return std::nullopt;
        }
        for (auto e = it->begin(); e != it->end(); ++e) {
            const auto element = elementNumber(e.key());
            if (!element) {
                r.fail(at + ".volume", "has the key \"" + e.key() + "\", not a decimal element number");
                return std::nullopt;
            }
            const auto scalar = r.number(e.value(), at + ".volume." + e.key());
            if (!scalar) return std::nullopt;
            d.volume[*element] = *scalar;
        }
    }
    if (auto it = v.find("faults"); it != v.end()) {
        auto f = r.faults(*it, at + ".faults");
        if (!f) return std::nullopt;
        d.faults = std::move(*f);
    }
    return d;
}

std::optional<Process> readProcess(Reader& r, const Document& v, const std::string& at) {
    if (!r.object(v, at, {"pid", "bundleId", "playing", "devices", "level", "faults"})) {
        return std::nullopt;
    }
    Process p;
    const auto pid = v.find("pid");
    if (pid == v.end()) {
        r.fail(at, "has no \"pid\"");
        return std::nullopt;
    }
    const auto number = r.integer(*pid, at + ".pid", std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
    if (!number) return std::nullopt;
    p.pid = std::int32_t(*number);
    if (auto it = v.find("bundleId"); it != v.end()) {
        p.bundleId = r.string(*it, at + ".bundleId");
        if (!p.bundleId) return std::nullopt;
    }
    if (auto it = v.find("playing"); it != v.end()) {
        const auto playing = r.boolean(*it, at + ".playing");
        if (!playing) return std::nullopt;
        p.playing = *playing;
    }
    if (auto it = v.find("devices"); it != v.end()) {
        if (!it->is_array()) {
            r.fail(at + ".devices", "is not an array");
            return std::nullopt;
        }
        for (std::size_t i = 0; i < it->size(); ++i) {
            const auto uid = r.string((*it)[i], at + ".devices[" + std::to_string(i) + "]");
            if (!uid) return std::nullopt;
            p.devices.push_back(*uid);
        }
    }
    if (auto it = v.find("level"); it != v.end()) {
        const auto level = r.number(*it, at + ".level");
        if (!level) return std::nullopt;
        p.level = *level;
    }
    if (auto it = v.find("faults"); it != v.end()) {
        auto f = r.faults(*it, at + ".faults");
        if (!f) return std::nullopt;
        p.faults = std::move(*f);
    }
    return p;
}

std::optional<App> readApp(Reader& r, const Document& v, const std::string& at) {
    if (!r.object(v, at, {"pid", "bundleId", "name", "policy"})) {
        return std::nullopt;
    }
    App a;
    const auto pid = v.find("pid");
    if (pid == v.end()) {
        r.fail(at, "has no \"pid\"");
        return std::nullopt;
    }
    if (pid->is_string() && pid->get<std::string>() == "parent") {
        a.pid = std::nullopt;
    } else if (pid->is_number_integer()) {
        const auto number = r.integer(*pid, at + ".pid", std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max());
        if (!number) return std::nullopt;
        a.pid = std::int32_t(*number);
    } else {
        r.fail(at + ".pid", "is neither an integer nor \"parent\"");
        return std::nullopt;
    }
    if (auto it = v.find("bundleId"); it != v.end()) {
        a.bundleId = r.string(*it, at + ".bundleId");
        if (!a.bundleId) return std::nullopt;
    }
    if (auto it = v.find("name"); it != v.end()) {
        a.name = r.string(*it, at + ".name");
        if (!a.name) return std::nullopt;
    }
    if (auto it = v.find("policy"); it != v.end()) {
        const auto policy = r.integer(*it, at + ".policy", 0, 2);
        if (!policy) return std::nullopt;
        a.policy = long(*policy);
    }
    return a;
}

std::optional<TapBehaviour> readTap(Reader& r, const Document& v) {
    const std::string at = "tap";
    if (!r.object(v, at, {"float", "bits", "channels", "interleaved", "frames", "clock", "cycles", "faults"})) {
        return std::nullopt;
    }
    TapBehaviour t;
    if (auto it = v.find("float"); it != v.end()) {
        const auto b = r.boolean(*it, at + ".float");
        if (!b) return std::nullopt;
        t.isFloat = *b;
    }
    if (auto it = v.find("bits"); it != v.end()) {
        const auto bits = r.integer(*it, at + ".bits", 8, 64);
        if (!bits) return std::nullopt;
        if (*bits % 8 != 0) {
            r.fail(at + ".bits", "is not a whole number of bytes");
            return std::nullopt;
        }
        t.bits = UInt32(*bits);
    }
    if (auto it = v.find("channels"); it != v.end()) {
        const auto channels = r.integer(*it, at + ".channels", 0, 256);
        if (!channels) return std::nullopt;
        t.channels = UInt32(*channels);
    }
    if (auto it = v.find("interleaved"); it != v.end()) {
        const auto b = r.boolean(*it, at + ".interleaved");
        if (!b) return std::nullopt;
        t.interleaved = *b;
    }
    if (auto it = v.find("frames"); it != v.end()) {
        const auto frames = r.integer(*it, at + ".frames", 1, 1 << 17);
        if (!frames) return std::nullopt;
        t.frames = UInt32(*frames);
    }
    if (auto it = v.find("clock"); it != v.end()) {
        const auto clock = r.string(*it, at + ".clock");
        if (!clock) return std::nullopt;
        if (*clock != "realtime" && *clock != "fast") {
            r.fail(at + ".clock", "is neither \"realtime\" nor \"fast\"");
            return std::nullopt;
        }
        t.fast = *clock == "fast";
    }
    if (auto it = v.find("cycles"); it != v.end()) {
        const auto cycles = r.integer(*it, at + ".cycles", 0, std::numeric_limits<std::int64_t>::max());
        if (!cycles) return std::nullopt;
        t.cycles = std::uint64_t(*cycles);
    }
    if (auto it = v.find("faults"); it != v.end()) {
        if (!r.object(*it, at + ".faults", {"create", "aggregate", "ioproc", "start"}, true)) {
            return std::nullopt;
        }
        for (auto f = it->begin(); f != it->end(); ++f) {
            const auto status = r.integer(f.value(), at + ".faults." + f.key(),
                                          std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max());
            if (!status) return std::nullopt;
            t.faults[f.key()] = OSStatus(*status);
        }
    }
    return t;
}

std::optional<std::optional<std::string>> readDefault(Reader& r, const Document& v, const std::string& at) {
    if (v.is_null()) {
        return std::optional<std::string>{};
    }
    auto uid = r.string(v, at);
    if (!uid) return std::nullopt;
    return uid;
}

}  // namespace

std::variant<Document, std::string> parseDocument(std::string_view text) {
    Document document = Document::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded()) {
        return std::string("is not valid JSON");
    }
    return document;
}

std::variant<Machine, std::string> readMachine(const Document& document) {
    Reader r;
    Machine m;
    if (!r.object(document, "the machine", {"system", "defaultOutput", "defaultInput", "devices", "processes", "apps",
                                            "tap", "setDelayMs", "faults"})) {
        return r.error();
    }
    if (auto it = document.find("system"); it != document.end()) {
        const auto system = r.string(*it, "system");
        if (!system) return r.error();
        if (!isVersion(*system)) {
            r.fail("system", "is not a version such as \"15.0\"");
            return r.error();
        }
        m.system = *system;
    }
    if (auto it = document.find("defaultOutput"); it != document.end()) {
        const auto uid = readDefault(r, *it, "defaultOutput");
        if (!uid) return r.error();
        m.defaultOutput = *uid;
    }
    if (auto it = document.find("defaultInput"); it != document.end()) {
        const auto uid = readDefault(r, *it, "defaultInput");
        if (!uid) return r.error();
        m.defaultInput = *uid;
    }
    if (auto it = document.find("devices"); it != document.end()) {
        if (!it->is_array()) {
            r.fail("devices", "is not an array");
            return r.error();
        }
        if (it->size() > maxDevices) {
            r.fail("devices", "has more than " + std::to_string(maxDevices) + " devices");
            return r.error();
        }
        std::set<std::string> uids;
        for (std::size_t i = 0; i < it->size(); ++i) {
            const std::string at = "devices[" + std::to_string(i) + "]";
            auto device = readDevice(r, (*it)[i], at);
            if (!device) return r.error();
            if (!uids.insert(device->uid).second) {
                r.fail(at + ".uid", "\"" + device->uid + "\" names an earlier device too");
                return r.error();
            }
            m.devices.push_back(std::move(*device));
        }
    }
    if (auto it = document.find("processes"); it != document.end()) {
        if (!it->is_array()) {
            r.fail("processes", "is not an array");
            return r.error();
        }
        if (it->size() > maxProcesses) {
            r.fail("processes", "has more than " + std::to_string(maxProcesses) + " processes");
            return r.error();
        }
        for (std::size_t i = 0; i < it->size(); ++i) {
            auto process = readProcess(r, (*it)[i], "processes[" + std::to_string(i) + "]");
            if (!process) return r.error();
            m.processes.push_back(std::move(*process));
        }
    }
    if (auto it = document.find("apps"); it != document.end()) {
        if (!it->is_array()) {
            r.fail("apps", "is not an array");
            return r.error();
        }
        for (std::size_t i = 0; i < it->size(); ++i) {
            auto app = readApp(r, (*it)[i], "apps[" + std::to_string(i) + "]");
            if (!app) return r.error();
            m.apps.push_back(std::move(*app));
        }
    }
    if (auto it = document.find("tap"); it != document.end()) {
        auto tap = readTap(r, *it);
        if (!tap) return r.error();
        m.tap = std::move(*tap);
    }
    if (auto it = document.find("setDelayMs"); it != document.end()) {
        const auto delay = r.number(*it, "setDelayMs");
        if (!delay) return r.error();
        if (*delay < 0 || *delay > 600000) {
            r.fail("setDelayMs", "is out of range (0 to 600000)");
            return r.error();
        }
        m.setDelayMs = *delay;
    }
    if (auto it = document.find("faults"); it != document.end()) {
        auto faults = r.faults(*it, "faults");
        if (!faults) return r.error();
        m.faults = std::move(*faults);
    }
    return m;
}

std::string fourCC(UInt32 code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        text[std::size_t(i)] = char((code >> (24 - 8 * i)) & 0xFF);
    }
    return text;
}

}  // namespace sim
