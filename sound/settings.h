// The settings record: the host's wanted settings, the state read now and the snapshot all have
// this one form.
#pragma once

#include "shared/json.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sound {

enum class Direction { output, input };

// "output" or "input".
std::string_view text(Direction direction);

// Channel key ("0" main, "1".. channels) to volume scalar.
using VolumeMap = std::map<std::string, double>;

struct Side {
    std::string uid;
    std::optional<std::string> name;
    std::optional<double> rate;
    std::optional<std::string> layout;  // base64 of the channel layout record's bytes
    std::optional<VolumeMap> volume;

    bool operator==(const Side&) const = default;
};

struct Settings {
    std::optional<Side> output;
    std::optional<Side> input;
    std::optional<std::vector<Side>> others;

    bool operator==(const Settings&) const = default;
};

// The record's JSON text: compact, keys sorted, absent fields left out. Nothing when a rate or
// volume is not a finite number.
std::optional<std::string> encode(const Settings& settings);

// The record a JSON text holds, or nothing at all on any violation of the reading rules (not one
// object, a member of the wrong type, a side without "uid"). Unknown members are ignored.
std::optional<Settings> decode(std::string_view text);

// The record as a JSON object for a report; the empty object when it cannot be encoded.
json::Object encoded(const Settings& settings);

}  // namespace sound
