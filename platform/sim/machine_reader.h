// Typed reads of machine file values that keep the first problem met, with where it was.
#pragma once

#include "sim/machine.h"
#include "sim/machine_parse.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

namespace sim {

// Every read answers nothing after recording a problem; only the first problem is kept.
class Reader {
public:
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // Records "<where> <what>" unless a problem is recorded already; answers false.
    bool fail(const std::string& where, const std::string& what);

    // An object whose members are all among `allowed`.
    bool object(const Document& v, const std::string& where, std::initializer_list<const char*> allowed,
                bool strict = false);
    std::optional<std::string> string(const Document& v, const std::string& where);
    std::optional<bool> boolean(const Document& v, const std::string& where);
    // A finite number.
    std::optional<double> number(const Document& v, const std::string& where);
    // An integer within [minimum, maximum].
    std::optional<std::int64_t> integer(const Document& v, const std::string& where, std::int64_t minimum,
                                        std::int64_t maximum);
    // An integer status, "absent", "readonly" or "null".
    std::optional<Fault> fault(const Document& v, const std::string& where);
    // A map from four-character selectors to faults.
    std::optional<Faults> faults(const Document& v, const std::string& where);

private:
    std::string error_;
};

}  // namespace sim
