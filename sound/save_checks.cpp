#include "sound/save_checks.h"

#include "shared/numbers.h"
#include "base64.h"
#include "sound/layout.h"
#include "sound/run.h"

namespace sound {

namespace {

std::optional<std::string> sideProblem(const Side& side, Direction direction) {
    if (!system->exists(side.uid, direction)) {
        return side.name.value_or(side.uid) + " isn't a connected " + std::string(text(direction));
    }
    // Written so that a NaN fails too.
    if (side.rate && !(*side.rate >= 8000 && *side.rate <= 768000)) {
        return numbers::shortest(*side.rate) + " Hz isn't a sample rate";
    }
    if (side.layout) {
        auto bytes = base64::decode(*side.layout);
        if (!bytes || !wholeLayout(*bytes)) {
            return "that channel layout isn't readable";
        }
    }
    if (side.volume) {
        for (const auto& [key, value] : *side.volume) {
            if (!(value >= 0 && value <= 1)) {
                return "a volume runs from 0 to 1";
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> firstProblem(const Settings& settings) {
    if (!settings.output && !settings.input) {
        return "Sorvane's settings name an output or an input";
    }
    if (settings.output) {
        if (auto problem = sideProblem(*settings.output, Direction::output)) {
            return problem;
        }
    }
    if (settings.input) {
        return sideProblem(*settings.input, Direction::input);
    }
    return std::nullopt;
}

}  // namespace sound
