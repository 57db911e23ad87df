// Reading outside JSON text into our values. Never throws.
#pragma once

#include "shared/json.h"

#include <optional>
#include <string_view>

namespace json {

// The value the text holds, or nothing when it is not exactly one JSON value or nests arrays and
// objects more than 512 deep. Integers that fit 64 bits stay integers; other numbers become
// 64-bit floats.
std::optional<Value> read(std::string_view text);

}  // namespace json
