// The one number reader of every state file: "read as a number".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrane {

// Reads optional blanks (spaces and tabs), an optional sign, one or more decimal digits and
// optional blanks. Anything else is not a number. "1", "01", " 1" and "+1" read as 1. Values
// beyond the 64-bit range saturate at its limits, so "a huge number" is still a number and
// still not 1.
std::optional<std::int64_t> ReadAsNumber(std::string_view text);

// Whether text read as a number equals 1.
inline bool ReadsAsOne(std::string_view text) {
    const auto n = ReadAsNumber(text);
    return n && *n == 1;
}

}  // namespace kestrane
