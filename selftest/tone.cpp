#include "selftest/tone.h"

#include "selftest/lines.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <thread>
#include <vector>

namespace selftest {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr uint32_t kBytesPerFrame = kChannels * 2;
constexpr size_t kHeaderBytes = 44;

void put(std::vector<char>& bytes, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

void put(std::vector<char>& bytes, const char* tag) {
    bytes.insert(bytes.end(), tag, tag + 4);
}

uint32_t get(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

}  // namespace

bool writeTone(const std::string& path, int seconds) {
    const uint32_t frames = kRate * static_cast<uint32_t>(seconds);
    const uint32_t dataBytes = frames * kBytesPerFrame;
    std::vector<char> bytes;
    put(bytes, "RIFF");
    put(bytes, 36 + dataBytes, 4);
    put(bytes, "WAVE");
    put(bytes, "fmt ");
    put(bytes, 16, 4);
    put(bytes, 1, 2);  // integer PCM
    put(bytes, kChannels, 2);
    put(bytes, kRate, 4);
    put(bytes, kRate * kBytesPerFrame, 4);
    put(bytes, kBytesPerFrame, 2);
    put(bytes, 16, 2);
    put(bytes, "data");
    put(bytes, dataBytes, 4);
    for (uint32_t n = 0; n < frames; ++n) {
        double sample = 0.5 * std::sin(2 * std::numbers::pi * 440.0 * n / kRate);
        auto value = static_cast<uint16_t>(static_cast<int16_t>(std::lround(sample * 32767)));
        put(bytes, value, 2);
        put(bytes, value, 2);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool playInPlace(const std::string& path) {
    auto bytes = readFile(path);
    if (!bytes || bytes->size() < kHeaderBytes || bytes->compare(0, 4, "RIFF") != 0) {
        return false;
    }
    uint32_t byteRate = get(*bytes, 28);
    uint32_t dataBytes = get(*bytes, 40);
    if (byteRate == 0) {
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(uint64_t{dataBytes} * 1000 / byteRate));
    return true;
}

}  // namespace selftest
