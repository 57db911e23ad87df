// Putting the snapshot back, for "--restore DIR" and at the end of a hold.
#pragma once

#include "sound/files.h"

namespace sound {

// Puts the folder's snapshot back, removes the mark and writes the "restored" report. Returns.
void restore(const Files& files);

}  // namespace sound
