// The host's settings line of "--save": reading it, the checks before it is kept, and the
// write-back (a record that can be written reads back as the same record).
#include "fuzz_support.h"

#include "shared/json.h"
#include "sound/save_checks.h"
#include "sound/settings.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Devices with known UIDs, so that seeds reach the checks after the device check.
constexpr const char* machine = R"({
  "defaultOutput": "spk",
  "defaultInput": "mic",
  "devices": [
    {"uid": "spk", "name": "Speakers", "rate": 48000, "output": [2], "volume": {"0": 0.5}},
    {"uid": "studio", "name": "Studio", "rate": 48000, "output": [2, 8], "input": [2]},
    {"uid": "mic", "name": "Mic", "rate": 44100, "input": [1]}
  ]
})";

bool finite(const sound::Side& side) {
    if (side.rate && !std::isfinite(*side.rate)) {
        return false;
    }
    if (side.volume) {
        for (const auto& [key, value] : *side.volume) {
            if (!std::isfinite(value)) {
                return false;
            }
        }
    }
    return true;
}

bool finite(const sound::Settings& settings) {
    if ((settings.output && !finite(*settings.output)) || (settings.input && !finite(*settings.input))) {
        return false;
    }
    if (settings.others) {
        for (const auto& side : *settings.others) {
            if (!finite(side)) {
                return false;
            }
        }
    }
    return true;
}

bool endsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Every message the checks give is one of these.
bool knownMessage(const std::string& message) {
    return message == "Sorvane's settings name an output or an input" ||
           message == "that channel layout isn't readable" || message == "a volume runs from 0 to 1" ||
           endsWith(message, " Hz isn't a sample rate") || endsWith(message, " isn't a connected output") ||
           endsWith(message, " isn't a connected input");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string path = fuzz::scratchFolder() + "/machine.json";
    fuzz::writeFile(path, machine);
    setenv("SORVANE_MACHINE", path.c_str(), 1);
    unsetenv("SORVANE_MACHINE_LOG");
    // The simulated platform keeps the memory of released objects for a while, to catch stale
    // references. Filled now, it frees one old object for each new one, so a run frees as much as
    // it allocates and libFuzzer does not stop for a full leak check after every run.
    for (int i = 0; i < 70000; ++i) {
        CFRelease(CFStringCreateWithCString(nullptr, "warm-up", kCFStringEncodingUTF8));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto record = sound::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!record) {
        return 0;
    }
    if (auto problem = sound::firstProblem(*record)) {
        fuzz::require(knownMessage(*problem), "the checks give one of their messages");
    } else {
        fuzz::require(record->output || record->input, "a record that passes names a side");
    }

    auto text = sound::encode(*record);
    fuzz::require(text.has_value() == finite(*record), "only a non-finite number keeps a record from its text");
    if (!text) {
        fuzz::require(sound::encoded(*record).empty(), "a record without a text is an empty object in reports");
        return 0;
    }
    auto again = sound::decode(*text);
    fuzz::require(again && *again == *record, "a written record reads back as the same record");
    auto second = sound::encode(*again);
    fuzz::require(second && sound::decode(*second) == again && sound::encode(*again) == second,
                  "writing back is stable");
    fuzz::require(json::write(json::Value(sound::encoded(*record))) == sound::encode(*again),
                  "the report's object is the record's text");
    return 0;
}
