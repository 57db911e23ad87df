// Putting the snapshot back, for "--restore DIR" and at the end of a hold.
#pragma once

#include "sound/files.h"
#include "sound/unsettled.h"

namespace sound {

// Puts the folder's snapshot back, removes the mark and writes the "restored" report. Returns.
// What the switch left `unsettled`, and while the mark is there what the snapshot notes as such,
// is written back even where reads show it in place.
void restore(const Files& files, const Unsettled& unsettled = {});

}  // namespace sound
