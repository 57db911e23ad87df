// The JSON-line reports a program wrote, read back from the file that caught them.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace selftest {

// The file's whole content; nothing when it cannot be read.
std::optional<std::string> readFile(const std::string& path);

// Each line of the file parsed as JSON; a line that is not JSON is a discarded value. Nothing
// when the file cannot be read.
std::optional<std::vector<nlohmann::json>> readLines(const std::string& path);

// The first report of this "type", or nothing.
std::optional<nlohmann::json> firstOfType(const std::vector<nlohmann::json>& lines, const std::string& type);

// The text member `key` of an object, or nothing when it is absent or not text.
std::optional<std::string> text(const nlohmann::json& object, const std::string& key);

// The number member `key` of an object, or nothing when it is absent or not a number.
std::optional<double> number(const nlohmann::json& object, const std::string& key);

// What a check saw when it failed: written as one line for the self-test's report; status 1.
int failed(const std::string& seen);

}  // namespace selftest
