// The simulated machine as the machine file describes it: devices, audio processes, running
// applications, tap behaviour and injected faults; and reading it from the file's JSON document.
// Plain values; the file layer keeps them fresh.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

// How one property of one object misbehaves.
struct Fault {
    enum class Kind { status, absent, readOnly, null };
    Kind kind = Kind::status;
    OSStatus status = 0;  // for Kind::status
};

// Selector → fault.
using Faults = std::map<AudioObjectPropertySelector, Fault>;

struct Stream {
    UInt32 channels = 0;
    std::optional<Fault> fault;  // applies to its virtual format ('sfmt')
};

struct Device {
    std::string uid;
    std::optional<std::string> name;
    std::optional<double> rate;
    std::optional<std::vector<std::pair<double, double>>> rates;
    std::vector<Stream> output;
    std::vector<Stream> input;
    std::optional<std::vector<std::uint8_t>> layout;
    std::map<UInt32, double> volume;  // output element → scalar
    std::optional<UInt32> volumeSteps;  // a volume write takes the nearest of 0, 1/N, ..., 1
    bool canBeDefault = true;  // 'dflt': may be chosen as the default of a role it has channels for
    Faults faults;

    UInt32 channels(bool outputSide) const;
};

struct Process {
    std::int32_t pid = 0;
    std::optional<std::string> bundleId;
    bool playing = false;
    std::vector<std::string> devices;  // UIDs
    double level = 0.5;
    Faults faults;
};

struct App {
    std::optional<std::int32_t> pid;  // nothing: "parent", the parent of the reading process
    std::optional<std::string> bundleId;
    std::optional<std::string> name;
    long policy = 0;
    std::optional<std::string> path;  // its executable's
    bool tracked = true;  // false: a helper or tool the running-application lookup does not list
};

// (first IO cycle, rate) pairs, in order: from that cycle on the tap runs at that rate.
using RateChanges = std::vector<std::pair<std::uint64_t, double>>;

// The rate at IO cycle `cycle`: that of the last change come by then, else `base`.
double rateAt(const RateChanges& changes, double base, std::uint64_t cycle);

struct TapBehaviour {
    bool isFloat = true;
    UInt32 bits = 32;
    std::optional<UInt32> channels;
    bool interleaved = true;
    UInt32 frames = 512;
    bool fast = false;  // "fast" clock: cycles back to back
    std::optional<std::uint64_t> cycles;
    std::map<std::string, OSStatus> faults;  // "create", "aggregate", "ioproc", "start", "listen"
    RateChanges rateChanges;
    // (IO cycle, frames): before that cycle the HAL skips that many frames, as after an overload.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> overloads;
    // After this many IO cycles the device's IO stops outside the normal mechanisms ('stpd').
    std::optional<std::uint64_t> stopsAbnormally;

    std::optional<OSStatus> fault(const std::string& step) const;
};

struct Machine {
    std::string system = "15.0";
    std::optional<std::string> defaultOutput;
    std::optional<std::string> defaultInput;
    std::vector<Device> devices;
    std::vector<Process> processes;
    std::vector<App> apps;
    std::map<std::string, std::string> bundles;  // bundle folder → identifier, as on disk
    TapBehaviour tap;
    double setDelayMs = 0;
    std::uint64_t restarts = 0;  // how often the audio service has restarted
    Faults faults;  // of the system object
    std::map<std::string, double> delays;  // platform function → milliseconds every call of it takes

    // Index of the device with that UID; nothing when none has it.
    std::optional<std::size_t> deviceIndex(const std::string& uid) const;
};

// A machine file's JSON, in its own member order, so that writes keep the file as its author laid it out.
using Document = nlohmann::ordered_json;

// The machine a document describes; the text of the first thing wrong with it otherwise
// ("devices[1].rate is not a number").
std::variant<Machine, std::string> readMachine(const Document& document);

}  // namespace sim
