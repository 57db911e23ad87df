// The command line of sorvane-tap, read from `args`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tap {

// True when any argument is "--list", also as another option's value.
bool listMode();

// The process ids of a --pid value: comma-separated signed 32-bit decimals; empty pieces and
// pieces that do not convert are dropped.
std::vector<std::int32_t> parsePids(const std::string& text);

// The --master value as a signed 64-bit decimal; 0 when it does not convert.
std::int64_t parseMaster(const std::string& text);

}  // namespace tap
