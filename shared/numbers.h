// Number texts both programs share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace numbers {

// A decimal integer: an optional "+" or "-", one or more digits, nothing else, within
// [minimum, maximum]. "-0" is 0. Nothing when the text is anything else or out of range.
std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t minimum, std::int64_t maximum);

// The shortest decimal text that reads back to the same 64-bit value, with ".0" after a whole
// number ("4000.0", "900000.0", "7999.5"); in exponent form only below 1e-4 or from 1e16 on
// ("1e+20"); "nan", "inf" and "-inf" for non-finite values.
std::string shortest(double value);

}  // namespace numbers
