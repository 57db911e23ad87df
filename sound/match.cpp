#include "sound/snapshot.h"

#include <cmath>

namespace sound {

namespace {

// A value that is not a number is never within, so it never counts as in place.
bool within(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

}  // namespace

bool matches(const std::optional<Side>& now, const std::optional<Side>& wanted) {
    if (!wanted) {
        return true;
    }
    if (!now || now->uid != wanted->uid) {
        return false;
    }
    if (wanted->rate && !within(now->rate.value_or(0), *wanted->rate, 0.5)) {
        return false;
    }
    if (wanted->layout && now->layout != wanted->layout) {
        return false;
    }
    if (wanted->volume) {
        for (const auto& [key, value] : *wanted->volume) {
            double present = -1;
            if (now->volume) {
                if (auto it = now->volume->find(key); it != now->volume->end()) {
                    present = it->second;
                }
            }
            if (!within(present, value, 0.001)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace sound
