#include "sim/machine_reader.h"

#include <cmath>
#include <limits>

namespace sim {

bool Reader::fail(const std::string& where, const std::string& what) {
    if (error_.empty()) {
        error_ = where + " " + what;
    }
    return false;
}

bool Reader::object(const Document& v, const std::string& where, std::initializer_list<const char*> allowed,
                    bool strict) {
    if (!v.is_object()) {
        return fail(where, "is not an object");
    }
    // Members the format does not name are left for whoever wrote them (notes, later additions);
    // only a closed set such as the tap's fault names is checked strictly.
    if (!strict) {
        return true;
    }
    for (auto it = v.begin(); it != v.end(); ++it) {
        bool known = false;
        for (const char* name : allowed) {
            known = known || it.key() == name;
        }
        if (!known) {
            return fail(where, "has an unknown member \"" + it.key() + "\"");
        }
    }
    return true;
}

std::optional<std::string> Reader::string(const Document& v, const std::string& where) {
    if (!v.is_string()) {
        fail(where, "is not a string");
        return std::nullopt;
    }
    return v.get<std::string>();
}

std::optional<bool> Reader::boolean(const Document& v, const std::string& where) {
    if (!v.is_boolean()) {
        fail(where, "is not true or false");
        return std::nullopt;
    }
    return v.get<bool>();
}

std::optional<double> Reader::number(const Document& v, const std::string& where) {
    if (!v.is_number()) {
        fail(where, "is not a number");
        return std::nullopt;
    }
    const double d = v.get<double>();
    if (!std::isfinite(d)) {
        fail(where, "is not a finite number");
        return std::nullopt;
    }
    return d;
}

std::optional<std::int64_t> Reader::integer(const Document& v, const std::string& where, std::int64_t minimum,
                                    std::int64_t maximum) {
    std::optional<std::int64_t> value;
    if (v.is_number_unsigned()) {
        const std::uint64_t u = v.get<std::uint64_t>();
        if (u <= std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
            value = std::int64_t(u);
        } else {
            fail(where, "is out of range");
            return std::nullopt;
        }
    } else if (v.is_number_integer()) {
        value = v.get<std::int64_t>();
    } else {
        fail(where, "is not an integer");
        return std::nullopt;
    }
    if (*value < minimum || *value > maximum) {
        fail(where, "is out of range (" + std::to_string(minimum) + " to " + std::to_string(maximum) + ")");
        return std::nullopt;
    }
    return value;
}

std::optional<Fault> Reader::fault(const Document& v, const std::string& where) {
    if (v.is_string()) {
        const std::string text = v.get<std::string>();
        if (text == "absent") return Fault{Fault::Kind::absent, 0};
        if (text == "readonly") return Fault{Fault::Kind::readOnly, 0};
        if (text == "null") return Fault{Fault::Kind::null, 0};
    } else if (v.is_number_integer()) {
        const auto status = integer(v, where, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
        if (!status) return std::nullopt;
        return Fault{Fault::Kind::status, OSStatus(*status)};
    }
    fail(where, "is not a fault (an integer status, \"absent\", \"readonly\" or \"null\")");
    return std::nullopt;
}

std::optional<Faults> Reader::faults(const Document& v, const std::string& where) {
    if (!v.is_object()) {
        fail(where, "is not an object");
        return std::nullopt;
    }
    Faults out;
    for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string& key = it.key();
        bool printable = key.size() == 4;
        for (char c : key) {
            printable = printable && c >= 0x20 && c <= 0x7E;
        }
        if (!printable) {
            fail(where, "has the key \"" + key + "\", not a four-character selector");
            return std::nullopt;
        }
        const UInt32 selector = UInt32(std::uint8_t(key[0])) << 24 | UInt32(std::uint8_t(key[1])) << 16 |
                                UInt32(std::uint8_t(key[2])) << 8 | UInt32(std::uint8_t(key[3]));
        const auto f = fault(it.value(), where + "." + key);
        if (!f) return std::nullopt;
        out[selector] = *f;
    }
    return out;
}

}  // namespace sim
