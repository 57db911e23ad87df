#include "sound/layout.h"

#include <cstring>

namespace sound {

bool wholeLayout(const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t fixedPart = 12;
    constexpr std::size_t description = 20;
    if (bytes.size() < fixedPart) {
        return false;
    }
    std::uint32_t descriptions = 0;
    std::memcpy(&descriptions, bytes.data() + 8, sizeof descriptions);  // the platform's own byte order
    return bytes.size() >= fixedPart + description * std::uint64_t(descriptions);
}

}  // namespace sound
