#include "sound/current.h"

#include "sound/run.h"

namespace sound {

Side settingsOf(const std::string& uid, bool isOutput) {
    Side side{uid, system->name(uid), system->rate(uid), std::nullopt, std::nullopt};
    // Layout and volume are output settings only; an output side always carries a volume map.
    if (isOutput) {
        side.layout = system->layout(uid);
        side.volume = system->volume(uid);
    }
    return side;
}

std::optional<Side> side(Direction direction) {
    auto uid = system->defaultUID(direction);
    if (!uid) {
        return std::nullopt;
    }
    return settingsOf(*uid, direction == Direction::output);
}

Settings current() {
    Settings settings;
    settings.output = side(Direction::output);
    settings.input = side(Direction::input);
    return settings;
}

}  // namespace sound
