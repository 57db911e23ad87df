#include "sound/match.h"

#include <cmath>

namespace sound {

bool rateInPlace(const std::optional<double>& now, double wanted) {
    return std::fabs(now.value_or(0) - wanted) <= 0.5;
}

bool layoutInPlace(const std::optional<std::string>& now, const std::string& wanted) {
    return now == wanted;
}

bool volumeInPlace(const VolumeMap& now, const std::string& key, double wanted) {
    auto found = now.find(key);
    return std::fabs((found == now.end() ? -1 : found->second) - wanted) <= 0.001;
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
        if (!volumeInPlace(present, key, value)) {
            return false;
        }
    }
    return true;
}

}  // namespace sound
