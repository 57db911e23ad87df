// The JSON values of reports and records, and our own writer for them: compact, object keys in
// byte-wise sorted order at every level, the solidus escaped, non-ASCII text written raw (bytes
// that are not UTF-8 as U+FFFD, so the text is always valid JSON), whole floats without a
// fraction. Parsing of outside text is in json_read.h.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace json {

class Value;
using Array = std::vector<Value>;
using Object = std::map<std::string, Value>;

class Value {
public:
    Value() : v_(nullptr) {}
    Value(std::nullptr_t) : v_(nullptr) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(unsigned u) : v_(static_cast<std::int64_t>(u)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Object o) : v_(std::move(o)) {}

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(v_); }
    const bool* boolean() const { return std::get_if<bool>(&v_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&v_); }
    const double* real() const { return std::get_if<double>(&v_); }
    const std::string* string() const { return std::get_if<std::string>(&v_); }
    const Array* array() const { return std::get_if<Array>(&v_); }
    const Object* object() const { return std::get_if<Object>(&v_); }
    // An integer or a float, as a 64-bit float.
    std::optional<double> number() const;

    bool operator==(const Value&) const = default;

private:
    std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> v_;
};

// The compact text of a value; nothing when it holds a non-finite float.
std::optional<std::string> write(const Value& value);

// A string's JSON text, quotes included, under the escaping rules above.
std::string quoted(const std::string& text);

}  // namespace json
