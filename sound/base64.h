// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks) for channel layout bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base64 {

// The canonical base64 text of the bytes, padded with "=", without line breaks.
std::string encode(const std::vector<std::uint8_t>& bytes);

// The bytes of standard base64 text; nothing when any character is outside the alphabet
// (white space included), the length is not a multiple of 4, or padding is misplaced. Unused
// bits of the last group are ignored, as the platform's decoder does. The empty text gives no bytes.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

}  // namespace base64
