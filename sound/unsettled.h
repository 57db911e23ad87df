// Changes a switch wrote that the devices had not shown yet when it stopped waiting for them.
#pragma once

#include "sound/settings.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace sound {

// A slow device (a Bluetooth one changing its rate) may take such a change seconds later, after a
// restore has read the old value and left it alone. So a restore writes these settings back
// whatever it reads.
struct Unsettled {
    std::set<Direction> defaults;  // roles whose default device was written
    std::set<std::string> rates;   // devices, by UID, whose rate was written

    bool empty() const { return defaults.empty() && rates.empty(); }
    void add(const Unsettled& more);
    bool operator==(const Unsettled&) const = default;
};

// The record's text with the member "unsettled" ({"defaults":["output"],"rates":["UID"]}) added,
// keys sorted; nothing when the text is not a record's.
std::optional<std::string> withUnsettled(std::string_view record, const Unsettled& unsettled);

// The "unsettled" member of a record's text; empty when there is none, and without any part that
// is not of that form.
Unsettled unsettledIn(std::string_view record);

}  // namespace sound
