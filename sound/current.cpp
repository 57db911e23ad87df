#include "sound/current.h"

#include "sound/run.h"

namespace sound {

std::optional<Side> side(Direction direction) {
    auto uid = system->defaultUID(direction);
    if (!uid) {
        return std::nullopt;
    }
    Side side;
    side.uid = *uid;
    side.name = system->name(*uid);
    side.rate = system->rate(*uid);
    // Layout and volume are output settings only; an output side always carries a volume map.
    if (direction == Direction::output) {
        side.layout = system->layout(*uid);
        side.volume = system->volume(*uid);
    }
    return side;
}

Settings current() {
    Settings settings;
    settings.output = side(Direction::output);
    settings.input = side(Direction::input);
    return settings;
}

}  // namespace sound
