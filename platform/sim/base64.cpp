#include "sim/base64.h"

namespace sim::base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string encode(const std::uint8_t* bytes, std::size_t count) {
    std::string out;
    out.reserve((count + 2) / 3 * 4);
    for (std::size_t i = 0; i < count; i += 3) {
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (i + 1 < count) group |= std::uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < count) group |= bytes[i + 2];
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += i + 1 < count ? alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < count ? alphabet[group & 63] : '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
                continue;
            }
            if (padding > 0) {
                return std::nullopt;  // data after padding
            }
            v[k] = valueOf(c);
            if (v[k] < 0) {
                return std::nullopt;
            }
        }
        const std::uint32_t group = std::uint32_t(v[0]) << 18 | std::uint32_t(v[1]) << 12 |
                                    std::uint32_t(v[2]) << 6 | std::uint32_t(v[3]);
        out.push_back(std::uint8_t(group >> 16));
        if (padding < 2) out.push_back(std::uint8_t(group >> 8));
        if (padding < 1) out.push_back(std::uint8_t(group));
        // Canonical form only: the bits that padding hides must be zero.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace sim::base64
