#include "shared/numbers.h"

#include <charconv>
#include <cmath>

namespace numbers {

std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t minimum, std::int64_t maximum) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + digit;
    }
    std::int64_t value;
    if (negative) {
        // The most negative 64-bit value has no positive counterpart.
        if (magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1) {
            return std::nullopt;
        }
        value = magnitude == static_cast<std::uint64_t>(INT64_MAX) + 1 ? INT64_MIN
                                                                        : -static_cast<std::int64_t>(magnitude);
    } else {
        if (magnitude > static_cast<std::uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        value = static_cast<std::int64_t>(magnitude);
    }
    if (value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::string shortest(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    // Plain decimals in the ordinary range (900000.0, not 9e+05); exponents only far outside it,
    // where the decimal form would run to dozens of digits.
    double size = std::fabs(value);
    bool plain = size == 0 || (size >= 1e-4 && size < 1e16);
    char buffer[64];
    auto result = plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                        : std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace numbers
