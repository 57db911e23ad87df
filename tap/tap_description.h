// What the tap describes: which processes, and a stereo mixdown or one stream of a device.
#pragma once

#include "apple.h"

#include <CoreAudio/CoreAudio.h>

#include <optional>
#include <vector>

namespace tap {

// The tap description of this run's --bundle-id or --pid (and --device). Does not return when
// the target is the host's own, is not using audio, or the device pair cannot be had.
apple::TapDescription tapDescription();

// With --device: the description of the stream holding the pair for these processes, having set
// `firstChannel`; nothing without --device. Does not return when the pair cannot be had.
std::optional<apple::TapDescription> deviceTap(const std::vector<AudioObjectID>& objects);

}  // namespace tap
