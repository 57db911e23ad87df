// In-process tests of the simulated machine: each test has a machine file and call log of its own.
#pragma once

#include "harness/harness.h"
#include "sim/testing.h"

#include <CoreAudio/CoreAudio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace platform_test {

constexpr UInt32 out = kAudioObjectPropertyScopeOutput;
// The place in the file decides the identifiers.
constexpr AudioObjectID device(int index) { return 100 + AudioObjectID(index); }

inline AudioObjectPropertyAddress at(const char (&s)[5], UInt32 scope = kAudioObjectPropertyScopeGlobal,
                                     UInt32 element = 0) {
    return {UInt32(s[0]) << 24 | UInt32(s[1]) << 16 | UInt32(s[2]) << 8 | UInt32(s[3]), scope, element};
}

template <class T>
std::pair<OSStatus, T> read(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    T value{};
    UInt32 size = sizeof(T);
    return {AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value), value};
}

template <class T>
OSStatus write(AudioObjectID object, const AudioObjectPropertyAddress& address, T value) {
    return AudioObjectSetPropertyData(object, &address, 0, nullptr, sizeof(T), &value);
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SORVANE_MACHINE", machine.path().c_str(), 1);
        setenv("SORVANE_MACHINE_LOG", machine.logPath().c_str(), 1);
        sim::resetForTests();
    }
    void TearDown() override { sim::resetForTests(); }

    harness::Machine machine{nlohmann::json::parse(R"({"defaultOutput": "spk", "processes": [{"pid": 501}],
      "tap": {"clock": "fast", "frames": 64}, "devices": [{"uid": "spk", "rate": 48000, "output": [2]},
      {"uid": "studio", "output": [2], "volume": {"1": 1, "2": 1}}, {"uid": "mic", "input": [1]}]})")};
};

// Runs body(i) in `count` forked children at once, each starting the layer afresh and ending through
// exit(0) so the exit handlers run as in a program; their exit statuses (-1 when killed).
inline std::vector<int> inChildren(int count, const std::function<void(int)>& body) {
    std::vector<int> children;  // their pids, then their exit statuses
    for (int i = 0; i < count; ++i) {
        std::fflush(nullptr);
        children.push_back(fork());
        if (children.back() == 0) {
            sim::resetForTests();
            body(i);
            std::exit(0);
        }
    }
    for (int& child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        child = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return children;
}

}  // namespace platform_test
