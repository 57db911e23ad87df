#include "shared/json_read.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace json {

namespace {

// Far beyond any record of ours, and shallow enough that converting, comparing, writing and
// destroying the value, all recursive, stay well inside a thread's stack.
constexpr int deepestNesting = 512;

Value convert(const nlohmann::json& j) {
    switch (j.type()) {
    case nlohmann::json::value_t::boolean: return Value(j.get<bool>());
    case nlohmann::json::value_t::number_integer: return Value(static_cast<long long>(j.get<std::int64_t>()));
    case nlohmann::json::value_t::number_unsigned: {
        auto u = j.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return Value(static_cast<long long>(u));
        }
        return Value(static_cast<double>(u));
    }
    case nlohmann::json::value_t::number_float: return Value(j.get<double>());
    case nlohmann::json::value_t::string: return Value(j.get<std::string>());
    case nlohmann::json::value_t::array: {
        Array a;
        a.reserve(j.size());
        for (const auto& e : j) {
            a.push_back(convert(e));
        }
        return Value(std::move(a));
    }
    case nlohmann::json::value_t::object: {
        Object o;
        for (auto it = j.begin(); it != j.end(); ++it) {
            o[it.key()] = convert(it.value());
        }
        return Value(std::move(o));
    }
    default: return Value();
    }
}

}  // namespace

std::optional<Value> read(std::string_view text) {
    // Parsed without exceptions: invalid text (also invalid UTF-8) gives a discarded value. A
    // container nested too deep is dropped as it starts, and the whole text with it.
    bool tooDeep = false;
    auto depthCheck = [&tooDeep](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
        bool opens = event == nlohmann::json::parse_event_t::object_start ||
                     event == nlohmann::json::parse_event_t::array_start;
        if (opens && depth >= deepestNesting) {
            tooDeep = true;
            return false;
        }
        return true;
    };
    auto parsed = nlohmann::json::parse(text.begin(), text.end(), depthCheck, false);
    if (parsed.is_discarded() || tooDeep) {
        return std::nullopt;
    }
    return convert(parsed);
}

}  // namespace json
