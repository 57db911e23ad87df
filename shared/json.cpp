#include "shared/json.h"

#include <charconv>
#include <cmath>

namespace json {

std::optional<double> Value::number() const {
    if (auto i = integer()) {
        return static_cast<double>(*i);
    }
    if (auto d = real()) {
        return *d;
    }
    return std::nullopt;
}

namespace {

void appendQuoted(std::string& out, const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += static_cast<char>(c);  // non-ASCII bytes go out as they are
            }
        }
    }
    out += '"';
}

bool appendReal(std::string& out, double d) {
    if (!std::isfinite(d)) {
        return false;
    }
    char buffer[64];
    std::to_chars_result result;
    // Whole numbers of ordinary size go out without fraction or exponent (48000, not 48000.0).
    if (d == std::floor(d) && std::fabs(d) < 1e16) {
        result = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed, 0);
    } else {
        result = std::to_chars(buffer, buffer + sizeof buffer, d);
    }
    out.append(buffer, result.ptr);
    return true;
}

bool append(std::string& out, const Value& value) {
    if (value.isNull()) {
        out += "null";
    } else if (auto b = value.boolean()) {
        out += *b ? "true" : "false";
    } else if (auto i = value.integer()) {
        out += std::to_string(*i);
    } else if (auto d = value.real()) {
        return appendReal(out, *d);
    } else if (auto s = value.string()) {
        appendQuoted(out, *s);
    } else if (auto a = value.array()) {
        out += '[';
        for (size_t k = 0; k < a->size(); ++k) {
            if (k > 0) {
                out += ',';
            }
            if (!append(out, (*a)[k])) {
                return false;
            }
        }
        out += ']';
    } else if (auto o = value.object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, member] : *o) {  // std::map: keys in byte-wise order
            if (!first) {
                out += ',';
            }
            first = false;
            appendQuoted(out, key);
            out += ':';
            if (!append(out, member)) {
                return false;
            }
        }
        out += '}';
    }
    return true;
}

}  // namespace

std::optional<std::string> write(const Value& value) {
    std::string out;
    if (!append(out, value)) {
        return std::nullopt;
    }
    return out;
}

std::string quoted(const std::string& text) {
    std::string out;
    appendQuoted(out, text);
    return out;
}

}  // namespace json
