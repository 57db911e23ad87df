// In-process tests of the simulated machine: each test gets a machine file and call log of its
// own, and the layer starts over on it.
#pragma once

#include "harness/harness.h"
#include "sim/testing.h"

#include <CoreAudio/CoreAudio.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform_test {

constexpr UInt32 code(const char (&text)[5]) {
    return UInt32(static_cast<unsigned char>(text[0])) << 24 | UInt32(static_cast<unsigned char>(text[1])) << 16 |
           UInt32(static_cast<unsigned char>(text[2])) << 8 | UInt32(static_cast<unsigned char>(text[3]));
}

inline AudioObjectPropertyAddress at(UInt32 selector, UInt32 scope = kAudioObjectPropertyScopeGlobal,
                                     UInt32 element = 0) {
    return AudioObjectPropertyAddress{selector, scope, element};
}

// Identifiers of the file objects: the place in the file decides them.
constexpr AudioObjectID device(int index) { return 100 + AudioObjectID(index); }
constexpr AudioObjectID process(int index) { return 1000 + AudioObjectID(index); }

template <class T>
std::pair<OSStatus, T> read(AudioObjectID object, const AudioObjectPropertyAddress& address, T initial = T{}) {
    T value = initial;
    UInt32 size = sizeof(T);
    const OSStatus status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value);
    return {status, value};
}

template <class T>
OSStatus write(AudioObjectID object, const AudioObjectPropertyAddress& address, T value) {
    return AudioObjectSetPropertyData(object, &address, 0, nullptr, sizeof(T), &value);
}

// A string property: the status, and the text when a reference came back (released here).
inline std::pair<OSStatus, std::optional<std::string>> readText(AudioObjectID object, UInt32 selector) {
    const auto address = at(selector);
    CFStringRef ref = nullptr;
    UInt32 size = sizeof ref;
    const OSStatus status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &ref);
    if (ref == nullptr) return {status, std::nullopt};
    std::string text(std::size_t(CFStringGetMaximumSizeForEncoding(CFStringGetLength(ref), kCFStringEncodingUTF8)) + 1,
                     '\0');
    const bool ok = CFStringGetCString(ref, text.data(), CFIndex(text.size()), kCFStringEncodingUTF8);
    CFRelease(ref);
    if (!ok) return {status, std::nullopt};
    text.resize(std::strlen(text.c_str()));
    return {status, text};
}

// A string read as "STATUS TEXT", or "STATUS (null)" when no reference came back.
inline std::string textRead(AudioObjectID object, UInt32 selector) {
    const auto [status, text] = readText(object, selector);
    return std::to_string(status) + " " + (text ? *text : "(null)");
}

// A list of object identifiers: size query, then the read.
inline std::vector<AudioObjectID> readList(AudioObjectID object, UInt32 selector,
                                           UInt32 scope = kAudioObjectPropertyScopeGlobal) {
    const auto address = at(selector, scope);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(object, &address, 0, nullptr, &size) != 0) return {};
    std::vector<AudioObjectID> list(size / 4);
    if (AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, list.data()) != 0) return {};
    list.resize(size / 4);
    return list;
}

inline AudioObjectID translate(const std::string& uid, OSStatus* status = nullptr) {
    const CFStringRef ref = CFStringCreateWithCString(nullptr, uid.c_str(), kCFStringEncodingUTF8);
    const auto address = at(kAudioHardwarePropertyTranslateUIDToDevice);
    AudioObjectID object = 12345;
    UInt32 size = sizeof object;
    const OSStatus result =
        AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, sizeof ref, &ref, &size, &object);
    CFRelease(ref);
    if (status != nullptr) *status = result;
    return object;
}

// A fixture whose machine is its own; `use` (re)starts the layer on a new description.
class SimTest : public ::testing::Test {
protected:
    void use(const nlohmann::json& description) {
        machine_ = std::make_unique<harness::Machine>(description);
        setenv("SORVANE_MACHINE", machine_->path().c_str(), 1);
        setenv("SORVANE_MACHINE_LOG", machine_->logPath().c_str(), 1);
        sim::resetForTests();
    }

    void TearDown() override {
        sim::resetForTests();
        unsetenv("SORVANE_MACHINE");
        unsetenv("SORVANE_MACHINE_LOG");
    }

    harness::Machine& machine() { return *machine_; }
    std::string fileText() { return harness::readFile(machine_->path()).value_or(""); }

    // The call log lines with that "fn".
    std::vector<nlohmann::json> calls(const std::string& fn) {
        std::vector<nlohmann::json> found;
        for (const auto& line : machine_->log()) {
            if (line.is_object() && line.value("fn", "") == fn) found.push_back(line);
        }
        return found;
    }

    std::unique_ptr<harness::Machine> machine_;
};

// A machine with a little of everything, used by most tests.
inline nlohmann::json studio() {
    return nlohmann::json::parse(R"({
      "defaultOutput": "spk",
      "defaultInput": "mic",
      "devices": [
        {"uid": "spk", "name": "Speakers", "rate": 48000,
         "rates": [[44100, 44100], [48000, 48000], [88200, 96000]], "output": [2], "volume": {"0": 0.5}},
        {"uid": "studio", "name": "Studio", "rate": 44100, "output": [2, 8], "input": [2],
         "layout": "AgBlAAAAAAAAAAAA", "volume": {"1": 0.25, "2": 0.75}},
        {"uid": "mic", "input": [1]}
      ],
      "processes": [
        {"pid": 501, "bundleId": "com.example.music", "playing": true, "devices": ["spk", "gone"], "level": 0.5},
        {"pid": 502, "bundleId": "com.example.browser", "playing": true, "level": 0.25},
        {"pid": 503, "bundleId": "com.example.browser", "playing": false},
        {"pid": 504}
      ],
      "apps": [
        {"pid": 501, "bundleId": "com.example.music", "name": "Music"},
        {"pid": "parent", "bundleId": "com.example.host", "policy": 1}
      ]
    })");
}

struct ChildEnd {
    int status = -1;  // exit status; 128 + signal when killed
    std::string err;  // its standard error
};

// Runs `body` in a forked child with the given environment changes; the child then ends through
// exit(0), so the layer's exit handlers run as in a program.
inline ChildEnd inChild(const std::vector<std::pair<std::string, std::optional<std::string>>>& env,
                        const std::function<void()>& body) {
    harness::TempDir dir;
    const std::string errPath = dir.file("stderr");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
        for (const auto& [name, value] : env) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        sim::resetForTests();
        body();
        std::exit(0);
    }
    ChildEnd end;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    end.err = harness::readFile(errPath).value_or("");
    return end;
}

}  // namespace platform_test
