#include "shared/json.h"

#include <charconv>
#include <cmath>
#include <utility>

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

// The length of the well-formed UTF-8 sequence of two to four bytes at `at`, or of its longest
// well-formed start when it is cut short or broken (1 for a byte that starts none); and whether it
// is whole.
std::pair<std::size_t, bool> sequenceAt(const std::string& text, std::size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                     : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0) {
        return {1, false};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (at + k >= text.size()) {
            return {k, false};
        }
        auto next = static_cast<unsigned char>(text[at + k]);
        // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (k == 1) {
            low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        }
        if (next < low || next > high) {
            return {k, false};
        }
    }
    return {length, true};
}

void appendQuoted(std::string& out, const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            // Non-ASCII text goes out as it is; what is not UTF-8 goes out as U+FFFD, one for each
            // broken sequence, as the platform's own string conversion does.
            auto [length, whole] = sequenceAt(text, at);
            if (whole) {
                out.append(text, at, length);
            } else {
                out += "\xEF\xBF\xBD";
            }
            at += length;
            continue;
        }
        ++at;
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
                out += static_cast<char>(c);
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
