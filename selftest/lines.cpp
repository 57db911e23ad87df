#include "selftest/lines.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace selftest {

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::optional<std::vector<nlohmann::json>> readLines(const std::string& path) {
    auto content = readFile(path);
    if (!content) {
        return std::nullopt;
    }
    std::vector<nlohmann::json> lines;
    std::istringstream in(*content);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return lines;
}

std::optional<nlohmann::json> firstOfType(const std::vector<nlohmann::json>& lines, const std::string& type) {
    for (const auto& line : lines) {
        if (line.is_object() && text(line, "type") == type) {
            return line;
        }
    }
    return std::nullopt;
}

std::optional<std::string> text(const nlohmann::json& object, const std::string& key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<double> number(const nlohmann::json& object, const std::string& key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_number()) {
        return std::nullopt;
    }
    return found->get<double>();
}

int failed(const std::string& seen) {
    std::printf("%s\n", seen.c_str());
    return 1;
}

}  // namespace selftest
