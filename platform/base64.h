// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks) for channel layout bytes, as
// the settings record and the simulated machine file both carry them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace base64 {

namespace detail {

inline constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The six bits a character stands for; -1 for anything outside the alphabet, "=" included.
inline int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace detail

// The canonical base64 text of the bytes, padded with "=", without line breaks.
inline std::string encode(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t rest = bytes.size() - i;
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (rest > 1) group |= std::uint32_t(bytes[i + 1]) << 8;
        if (rest > 2) group |= bytes[i + 2];
        out += detail::alphabet[(group >> 18) & 63];
        out += detail::alphabet[(group >> 12) & 63];
        out += rest > 1 ? detail::alphabet[(group >> 6) & 63] : '=';
        out += rest > 2 ? detail::alphabet[group & 63] : '=';
    }
    return out;
}

// The bytes of standard base64 text; nothing when any character is outside the alphabet
// (white space included), the length is not a multiple of 4, or padding is misplaced. Unused
// bits of the last group are ignored, as the platform's decoder does. The empty text gives no bytes.
inline std::optional<std::vector<std::uint8_t>> decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const std::size_t symbols = i + 4 == text.size() ? 4 - padding : 4;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int value = k < symbols ? detail::sextet(text[i + k]) : 0;
            if (value < 0) return std::nullopt;  // outside the alphabet, or "=" before the end
            group = group << 6 | std::uint32_t(value);
        }
        bytes.push_back(std::uint8_t(group >> 16));
        if (symbols >= 3) bytes.push_back(std::uint8_t(group >> 8));
        if (symbols == 4) bytes.push_back(std::uint8_t(group));
    }
    return bytes;
}

}  // namespace base64
