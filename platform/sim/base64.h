// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks) for channel layouts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::base64 {

std::string encode(const std::uint8_t* bytes, std::size_t count);

// The decoded bytes; nothing when the text is not canonical padded base64 (no characters ignored).
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

}  // namespace sim::base64
