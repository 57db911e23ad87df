#include "tap/options.h"

#include "shared/numbers.h"
#include "tap/run_state.h"

#include <algorithm>
#include <limits>

namespace tap {

bool listMode() {
    return std::find(args.begin(), args.end(), "--list") != args.end();
}

std::vector<std::int32_t> parsePids(const std::string& text) {
    std::vector<std::int32_t> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        auto value = numbers::parseInteger(std::string_view(text).substr(start, comma - start),
                                           std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max());
        if (value) {
            result.push_back(static_cast<std::int32_t>(*value));
        }
        start = comma + 1;
    }
    return result;
}

std::int64_t parseMaster(const std::string& text) {
    return numbers::parseInteger(text, std::numeric_limits<std::int64_t>::min(),
                                 std::numeric_limits<std::int64_t>::max())
        .value_or(0);
}

}  // namespace tap
