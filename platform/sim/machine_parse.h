// Reading and checking the whole machine file format.
#pragma once

#include "sim/machine.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <variant>

namespace sim {

using Document = nlohmann::ordered_json;

// The document of a machine file's text; the text of what is wrong when it is not one JSON value.
std::variant<Document, std::string> parseDocument(std::string_view text);

// The machine a document describes; the text of the first thing wrong with it otherwise
// ("devices[1].rate is not a finite number").
std::variant<Machine, std::string> readMachine(const Document& document);

// The four-character text of a code ('outp' → "outp").
std::string fourCC(UInt32 code);

}  // namespace sim
