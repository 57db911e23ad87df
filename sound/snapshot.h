// What a switch must keep so that the restore can put it back.
#pragma once

#include "sound/settings.h"

namespace sound {

// The current record plus, in `others`, the own settings of every connected device the wanted
// record will touch that the current record does not already carry. Never fails.
Settings snapshot(const Settings& now, const Settings& wanted);

}  // namespace sound
