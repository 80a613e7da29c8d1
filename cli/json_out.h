// Machine-readable output of startzel-cli: with --json a command writes one JSON
// document on standard output instead of its text. Errors still go to standard
// error with the usual exit status, and nothing is written on standard output.
#pragma once

#include "cli_command.h"

#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>

namespace cli {

// Keys stay in the order the command writes them.
using Json = nlohmann::ordered_json;

// The flag of every command that can answer in JSON.
inline const Flag kJsonFlag{"--json", false};
inline bool WantsJson(const Options& o) {
    return o.has(kJsonFlag.name);
}

// Writes the document, indented, and a line end. Bytes of a text that are not
// UTF-8 come out as U+FFFD instead of breaking the document.
void PrintJson(std::ostream& out, const Json& doc);
// A value as PrintJson writes it (indented by 2, invalid UTF-8 replaced), without a line end.
std::string JsonText(const Json& value);
// Bytes as an array of numbers 0 to 255.
Json JsonBytes(const uint8_t* bytes, int n);

} // namespace cli
