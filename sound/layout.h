// What makes the bytes of a channel layout record whole.
#pragma once

#include <cstdint>
#include <vector>

namespace sound {

// True when the bytes hold a whole channel layout record: 12 bytes of fixed part, then 20 for each
// channel description its third 32-bit field counts. The audio server reads as many as the record
// claims, whatever it was handed, so a shorter one never reaches the platform.
bool wholeLayout(const std::vector<std::uint8_t>& bytes);

}  // namespace sound
