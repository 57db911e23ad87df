// The one interface through which sorvane-sound reaches the audio hardware. Devices are named by
// UID; no platform identifier or status crosses it. Every operation answers a failure with
// nothing, false, or an empty collection, and never reports.
#pragma once

#include "shared/json.h"
#include "sound/settings.h"

#include <optional>
#include <string>
#include <vector>

namespace sound {

// What came of a change that shows only once the device has taken it.
enum class Written {
    shown,    // the device shows it
    unseen,   // the platform took it, but the device did not show it in time: it may still land
    refused,  // nothing was changed
};

class SoundSystem {
public:
    virtual ~SoundSystem() = default;

    // The UID of the current default device of that role; nothing when there is none.
    virtual std::optional<std::string> defaultUID(Direction direction) = 0;
    // Shown once the device shows as the default of that role (two seconds at most).
    virtual Written setDefault(Direction direction, const std::string& uid) = 0;
    // True when the device is connected and has channels in that role.
    virtual bool exists(const std::string& uid, Direction direction) = 0;
    // The device's display name; nothing when it cannot be read.
    virtual std::optional<std::string> name(const std::string& uid) = 0;
    // The nominal sample rate in hertz; nothing when it cannot be read.
    virtual std::optional<double> rate(const std::string& uid) = 0;
    // Shown once the platform accepted the rate and the device shows it, within 0.5 Hz (two seconds
    // at most).
    virtual Written setRate(const std::string& uid, double rate) = 0;
    // The preferred output channel layout as base64; nothing when it cannot be read.
    virtual std::optional<std::string> layout(const std::string& uid) = 0;
    // True when the platform accepted the layout's bytes.
    virtual bool setLayout(const std::string& uid, const std::string& layout) = 0;
    // Output volumes by channel key: {"0"} alone when the main element has one, else channels
    // 1..16 that have one; empty when none can be read.
    virtual VolumeMap volume(const std::string& uid) = 0;
    // One volume element's scalar, whatever the others hold; nothing when it cannot be read.
    virtual std::optional<double> volume(const std::string& uid, const std::string& key) = 0;
    // True when the platform accepted that channel's volume.
    virtual bool setVolume(const std::string& uid, const std::string& key, double value) = 0;
    // One record per device the platform knows, ready to report; empty when none can be read.
    virtual std::vector<json::Object> devices() = 0;
};

}  // namespace sound
