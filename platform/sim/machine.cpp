#include "sim/machine.h"

#include "base64.h"

#include <cstdint>
#include <limits>
#include <regex>
#include <set>
#include <unistd.h>

namespace sim {

UInt32 Device::channels(bool outputSide) const {
    UInt32 sum = 0;
    for (const Stream& stream : outputSide ? output : input) {
        sum += stream.channels;
    }
    return sum;
}

std::optional<OSStatus> TapBehaviour::fault(const std::string& step) const {
    const auto found = faults.find(step);
    if (found == faults.end()) {
        return std::nullopt;
    }
    return found->second;
}

double rateAt(const RateChanges& changes, double base, std::uint64_t cycle) {
    for (const auto& [from, rate] : changes) {
        if (cycle >= from) base = rate;
    }
    return base;
}

std::optional<std::size_t> Machine::deviceIndex(const std::string& uid) const {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].uid == uid) {
            return i;
        }
    }
    return std::nullopt;
}

// Reading: `from_json` for every part of the format, so that `get<Machine>()` reads a whole file.
// Each check names the value it refuses by throwing `Bad`; where that value sits in the document is
// worked out only when the complaint is reported, so the readers need not carry it along.
namespace {

constexpr std::int64_t int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

// Identifier ranges leave room for this many objects of each kind.
constexpr std::size_t maxDevices = 900;
constexpr std::size_t maxStreams = 999;
constexpr std::size_t maxProcesses = 98999;

struct Bad {
    const Document* value;
    std::string what;
};

[[noreturn]] void bad(const Document& value, std::string what) {
    throw Bad{&value, std::move(what)};
}

// Where `target` sits below `from`, appended to `place` ("devices[0].volume.1"); false when it
// is not there.
bool findPlace(const Document& from, const Document* target, std::string& place) {
    if (&from == target) return true;
    const std::size_t length = place.size();
    if (from.is_array()) {
        for (std::size_t i = 0; i < from.size(); ++i) {
            place += "[" + std::to_string(i) + "]";
            if (findPlace(from[i], target, place)) return true;
            place.resize(length);
        }
    } else if (from.is_object()) {
        for (auto it = from.begin(); it != from.end(); ++it) {
            place += (length == 0 ? "" : ".") + it.key();
            if (findPlace(it.value(), target, place)) return true;
            place.resize(length);
        }
    }
    return false;
}

const Document* member(const Document& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const Document& required(const Document& object, const char* key) {
    const Document* value = member(object, key);
    if (value == nullptr) bad(object, "has no \"" + std::string(key) + "\"");
    return *value;
}

std::int64_t integer(const Document& v, std::int64_t minimum, std::int64_t maximum) {
    if (!v.is_number_integer()) bad(v, "is not an integer");
    const bool tooLarge = v.is_number_unsigned() && v.get<std::uint64_t>() > std::uint64_t(maximum);
    if (tooLarge || v.get<std::int64_t>() < minimum || v.get<std::int64_t>() > maximum) {
        bad(v, "is out of range (" + std::to_string(minimum) + " to " + std::to_string(maximum) + ")");
    }
    return v.get<std::int64_t>();
}

void checkObject(const Document& v) {
    if (!v.is_object()) bad(v, "is not an object");
}

void checkArray(const Document& v, std::size_t most, const char* kind) {
    if (!v.is_array()) bad(v, "is not an array");
    if (v.size() > most) bad(v, "has more than " + std::to_string(most) + " " + kind);
}

}  // namespace

void from_json(const Document& v, std::string& out) {
    if (!v.is_string()) bad(v, "is not a string");
    out = v.get<std::string>();
}

void from_json(const Document& v, bool& out) {
    if (!v.is_boolean()) bad(v, "is not true or false");
    out = v.get<bool>();
}

void from_json(const Document& v, double& out) {
    if (!v.is_number()) bad(v, "is not a number");  // JSON holds no infinities: the parser refuses them
    out = v.get<double>();
}

void from_json(const Document& v, Fault& out) {
    if (v.is_number_integer()) {
        out = Fault{Fault::Kind::status, OSStatus(integer(v, int32Min, int32Max))};
        return;
    }
    const std::string text = v.is_string() ? v.get<std::string>() : "";
    if (text == "absent") out = Fault{Fault::Kind::absent, 0};
    else if (text == "readonly") out = Fault{Fault::Kind::readOnly, 0};
    else if (text == "null") out = Fault{Fault::Kind::null, 0};
    else bad(v, "is not a fault (an integer status, \"absent\", \"readonly\" or \"null\")");
}

void from_json(const Document& v, Faults& out) {
    checkObject(v);
    for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string& key = it.key();
        bool printable = key.size() == 4;
        for (char c : key) printable = printable && c >= 0x20 && c <= 0x7E;
        if (!printable) bad(v, "has the key \"" + key + "\", not a four-character selector");
        const UInt32 selector = UInt32(std::uint8_t(key[0])) << 24 | UInt32(std::uint8_t(key[1])) << 16 |
                                UInt32(std::uint8_t(key[2])) << 8 | UInt32(std::uint8_t(key[3]));
        from_json(it.value(), out[selector]);
    }
}

template <class T>
void from_json(const Document& v, std::optional<T>& out) {
    from_json(v, out.emplace());
}

template <class T>
void from_json(const Document& v, std::vector<T>& out) {
    if (!v.is_array()) bad(v, "is not an array");
    out.clear();
    for (const Document& item : v) from_json(item, out.emplace_back());
}

// Member `key` of `object` read into `out` when it is there; left as it is otherwise.
template <class T>
void read(const Document& object, const char* key, T& out) {
    if (const Document* value = member(object, key)) from_json(*value, out);
}

void from_json(const Document& v, Stream& out) {
    if (!v.is_object()) {
        out.channels = UInt32(integer(v, 0, 256));
        return;
    }
    out.channels = UInt32(integer(required(v, "channels"), 0, 256));
    read(v, "fault", out.fault);
}

void from_json(const Document& v, Device& out) {
    checkObject(v);
    from_json(required(v, "uid"), out.uid);
    read(v, "name", out.name);
    read(v, "rate", out.rate);
    if (const Document* rates = member(v, "rates")) {
        if (!rates->is_array()) bad(*rates, "is not an array");
        out.rates.emplace();
        for (const Document& pair : *rates) {
            if (!pair.is_array() || pair.size() != 2) bad(pair, "is not a [minimum, maximum] pair");
            auto& [lo, hi] = out.rates->emplace_back();
            from_json(pair[0], lo);
            from_json(pair[1], hi);
            if (lo > hi) bad(pair, "has its minimum above its maximum");
        }
    }
    read(v, "output", out.output);
    read(v, "input", out.input);
    if (out.output.size() + out.input.size() > maxStreams) {
        bad(v, "has more than " + std::to_string(maxStreams) + " streams");
    }
    if (const Document* layout = member(v, "layout")) {
        std::string text;
        from_json(*layout, text);
        out.layout = base64::decode(text);
        if (!out.layout) bad(*layout, "is not valid base64");
    }
    if (const Document* volume = member(v, "volume")) {
        checkObject(*volume);
        for (auto it = volume->begin(); it != volume->end(); ++it) {
            const std::string& key = it.key();
            static const std::regex element("0|[1-9][0-9]{0,9}");
            const bool decimal = std::regex_match(key, element) &&
                                 std::stoull(key) <= std::numeric_limits<UInt32>::max();
            if (!decimal) bad(*volume, "has the key \"" + key + "\", not a decimal element number");
            from_json(it.value(), out.volume[UInt32(std::stoull(key))]);
        }
    }
    if (const Document* steps = member(v, "volumeSteps")) out.volumeSteps = UInt32(integer(*steps, 1, 1 << 24));
    read(v, "canBeDefault", out.canBeDefault);
    read(v, "faults", out.faults);
}

void from_json(const Document& v, Process& out) {
    checkObject(v);
    out.pid = std::int32_t(integer(required(v, "pid"), int32Min, int32Max));
    read(v, "bundleId", out.bundleId);
    read(v, "playing", out.playing);
    read(v, "devices", out.devices);
    read(v, "level", out.level);
    read(v, "faults", out.faults);
}

void from_json(const Document& v, App& out) {
    checkObject(v);
    const Document& pid = required(v, "pid");
    if (pid.is_number_integer()) {
        out.pid = std::int32_t(integer(pid, int32Min, int32Max));
    } else if (pid != "parent") {
        bad(pid, "is neither an integer nor \"parent\"");
    }
    read(v, "bundleId", out.bundleId);
    read(v, "name", out.name);
    if (const Document* policy = member(v, "policy")) out.policy = long(integer(*policy, 0, 2));
    read(v, "path", out.path);
    read(v, "tracked", out.tracked);
}

void from_json(const Document& v, TapBehaviour& out) {
    checkObject(v);
    read(v, "float", out.isFloat);
    if (const Document* bits = member(v, "bits")) {
        out.bits = UInt32(integer(*bits, 8, 64));
        if (out.bits % 8 != 0) bad(*bits, "is not a whole number of bytes");
    }
    if (const Document* channels = member(v, "channels")) out.channels = UInt32(integer(*channels, 0, 256));
    read(v, "interleaved", out.interleaved);
    if (const Document* frames = member(v, "frames")) out.frames = UInt32(integer(*frames, 1, 1 << 17));
    if (const Document* clock = member(v, "clock")) {
        if (*clock != "realtime" && *clock != "fast") bad(*clock, "is neither \"realtime\" nor \"fast\"");
        out.fast = *clock == "fast";
    }
    if (const Document* cycles = member(v, "cycles")) {
        out.cycles = std::uint64_t(integer(*cycles, 0, std::numeric_limits<std::int64_t>::max()));
    }
    if (const Document* changes = member(v, "rateChanges")) {
        if (!changes->is_array()) bad(*changes, "is not an array");
        for (const Document& change : *changes) {
            if (!change.is_array() || change.size() != 2) bad(change, "is not a [cycle, rate] pair");
            double rate = 0;
            from_json(change[1], rate);
            if (!(rate > 0 && rate <= 1e6)) bad(change[1], "is not a rate");
            const auto cycle = integer(change[0], 0, std::numeric_limits<std::int64_t>::max());
            out.rateChanges.emplace_back(std::uint64_t(cycle), rate);
        }
    }
    if (const Document* overloads = member(v, "overloads")) {
        if (!overloads->is_array()) bad(*overloads, "is not an array");
        for (const Document& overload : *overloads) {
            if (!overload.is_array() || overload.size() != 2) bad(overload, "is not a [cycle, frames] pair");
            const auto cycle = integer(overload[0], 0, std::numeric_limits<std::int64_t>::max());
            const auto frames = integer(overload[1], 1, std::numeric_limits<std::int32_t>::max());
            out.overloads.emplace_back(std::uint64_t(cycle), std::uint64_t(frames));
        }
    }
    if (const Document* stops = member(v, "stopsAbnormally")) {
        out.stopsAbnormally = std::uint64_t(integer(*stops, 0, std::numeric_limits<std::int64_t>::max()));
    }
    if (const Document* faults = member(v, "faults")) {
        checkObject(*faults);
        // A closed set: a misspelt step would otherwise be a fault that silently never fires.
        for (auto it = faults->begin(); it != faults->end(); ++it) {
            const std::string& step = it.key();
            if (step != "create" && step != "aggregate" && step != "ioproc" && step != "start" && step != "listen") {
                bad(*faults, "has an unknown member \"" + step + "\"");
            }
            out.faults[step] = OSStatus(integer(it.value(), int32Min, int32Max));
        }
    }
}

// Members the format does not name are left for whoever wrote them (notes, later additions).
void from_json(const Document& v, Machine& out) {
    checkObject(v);
    if (const Document* system = member(v, "system")) {
        from_json(*system, out.system);
        static const std::regex version(R"([0-9]{1,6}(\.[0-9]{1,6}){0,2})");
        if (!std::regex_match(out.system, version)) bad(*system, "is not a version such as \"15.0\"");
    }
    // null, like an absent member: no default device.
    if (const Document* uid = member(v, "defaultOutput"); uid != nullptr && !uid->is_null()) {
        from_json(*uid, out.defaultOutput);
    }
    if (const Document* uid = member(v, "defaultInput"); uid != nullptr && !uid->is_null()) {
        from_json(*uid, out.defaultInput);
    }
    if (const Document* devices = member(v, "devices")) {
        checkArray(*devices, maxDevices, "devices");
        from_json(*devices, out.devices);
        std::set<std::string> uids;
        for (std::size_t i = 0; i < out.devices.size(); ++i) {
            if (!uids.insert(out.devices[i].uid).second) {
                bad((*devices)[i]["uid"], "\"" + out.devices[i].uid + "\" names an earlier device too");
            }
        }
    }
    if (const Document* processes = member(v, "processes")) {
        checkArray(*processes, maxProcesses, "processes");
        from_json(*processes, out.processes);
    }
    read(v, "apps", out.apps);
    if (const Document* bundles = member(v, "bundles")) {
        checkObject(*bundles);
        for (auto it = bundles->begin(); it != bundles->end(); ++it) from_json(it.value(), out.bundles[it.key()]);
    }
    read(v, "tap", out.tap);
    if (const Document* delay = member(v, "setDelayMs")) {
        from_json(*delay, out.setDelayMs);
        if (out.setDelayMs < 0 || out.setDelayMs > 600000) bad(*delay, "is out of range (0 to 600000)");
    }
    if (const Document* restarts = member(v, "restarts")) {
        out.restarts = std::uint64_t(integer(*restarts, 0, std::numeric_limits<std::int64_t>::max()));
    }
    read(v, "faults", out.faults);
    if (const Document* delays = member(v, "delays")) {
        checkObject(*delays);
        for (auto it = delays->begin(); it != delays->end(); ++it) {
            double& ms = out.delays[it.key()];
            from_json(it.value(), ms);
            if (ms < 0 || ms > 600000) bad(it.value(), "is out of range (0 to 600000)");
        }
    }
    // Every process that has talked to the audio system is one of its clients, the reader too.
    Process self;
    self.pid = std::int32_t(::getpid());
    for (const App& app : out.apps) {
        if (app.pid == self.pid) self.bundleId = app.bundleId;
    }
    out.processes.push_back(self);
}

std::variant<Machine, std::string> readMachine(const Document& document) {
    try {
        return document.get<Machine>();
    } catch (const Bad& problem) {
        std::string place;
        findPlace(document, problem.value, place);
        return (place.empty() ? "the machine" : place) + " " + problem.what;
    }
}

}  // namespace sim
