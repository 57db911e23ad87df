// What a switch must keep so that the restore can put it back.
#pragma once

#include "sound/settings.h"

namespace sound {

// `base` (the current record, or the snapshot of a switch never restored) plus, in `others`, the
// own settings of every connected device the wanted record will touch that `base` does not already
// carry; each output side also holds the value now of every volume element the wanted record sets
// for that device. Never fails.
Settings snapshot(const Settings& base, const Settings& wanted);

}  // namespace sound
