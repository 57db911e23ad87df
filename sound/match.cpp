#include "sound/match.h"

#include <cmath>

namespace sound {

bool rateInPlace(const std::optional<double>& now, double wanted) {
    return std::fabs(now.value_or(0) - wanted) <= 0.5;
}

bool layoutInPlace(const std::optional<std::string>& now, const std::string& wanted) {
    return now == wanted;
}

bool volumeInPlace(const std::optional<double>& now, double wanted) {
    return std::fabs(now.value_or(-1) - wanted) <= 0.001;
}

bool matches(const std::optional<Side>& now, const std::optional<Side>& wanted) {
    if (!wanted) {
        return true;
    }
    if (!now || now->uid != wanted->uid || (wanted->rate && !rateInPlace(now->rate, *wanted->rate)) ||
        (wanted->layout && !layoutInPlace(now->layout, *wanted->layout))) {
        return false;
    }
    const VolumeMap present = now->volume.value_or(VolumeMap{});
    for (const auto& [key, value] : wanted->volume.value_or(VolumeMap{})) {
        auto found = present.find(key);
        if (!volumeInPlace(found == present.end() ? std::nullopt : std::optional<double>(found->second), value)) {
            return false;
        }
    }
    return true;
}

}  // namespace sound
