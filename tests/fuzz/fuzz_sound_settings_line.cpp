// The host's settings line of "--save" and the settings files: reading them, the checks before a
// record is kept, and the write-back (a record that can be written reads back as the same record).
#include "fuzz_support.h"

#include "shared/json.h"
#include "sound/files.h"
#include "sound/save_checks.h"
#include "sound/settings.h"

#include <CoreFoundation/CoreFoundation.h>

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

// Every message the checks give names what is wrong in one of these ways.
bool knownMessage(const std::string& message) {
    for (const char* known : {"Sorvane's settings name an output or an input", "that channel layout isn't readable",
                              "a volume runs from 0 to 1", " Hz isn't a sample rate", " isn't a connected "}) {
        if (message.find(known) != std::string::npos) {
            return true;
        }
    }
    return false;
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
    static const sound::Files folder{fuzz::scratchFolder()};
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto record = sound::decode(bytes);
    // The same bytes as the settings file (inputs stay far below the size past which none is read).
    fuzz::writeFile(folder.sorvane(), bytes);
    fuzz::require(folder.load(folder.sorvane()) == record, "a file loads as its text reads");
    if (!record) {
        return 0;
    }
    if (auto problem = sound::firstProblem(*record)) {
        fuzz::require(knownMessage(*problem), "the checks give one of their messages");
    } else {
        fuzz::require(record->output || record->input, "a record that passes names a side");
    }

    // A record holds no text only for a number JSON cannot write, and then reports as an empty object.
    auto text = sound::encode(*record);
    if (!text) {
        fuzz::require(sound::encoded(*record).empty(), "a record without a text is an empty object in reports");
        return 0;
    }
    fuzz::require(folder.save(*record, folder.snapshot()) && folder.load(folder.snapshot()) == record,
                  "a kept record loads back unchanged");
    auto again = sound::decode(*text);
    fuzz::require(again && *again == *record, "a written record reads back as the same record");
    auto second = sound::encode(*again);
    fuzz::require(second && sound::decode(*second) == again && sound::encode(*again) == second,
                  "writing back is stable");
    fuzz::require(json::write(json::Value(sound::encoded(*record))) == sound::encode(*again),
                  "the report's object is the record's text");
    return 0;
}
