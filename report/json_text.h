// JSON string literals for the run reports.
#pragma once

#include <string>

namespace report {

// `text` as a JSON string, quotes included: '"' and '\' escaped, control characters below
// 0x20 and DEL as \u00XX, every other byte (UTF-8 included) as it is.
std::string json_string(const std::string& text);

}  // namespace report
