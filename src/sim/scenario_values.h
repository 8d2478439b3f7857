#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The values of a scenario line.
namespace parvolin::sim {

std::vector<std::string> splitWords(std::string_view line);
// A decimal or 0x-hex integer within [lo, hi].
std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t lo, std::int64_t hi);
// Seconds with an optional fraction, not negative, to milliseconds.
std::optional<std::int64_t> parseSeconds(std::string_view text);
// One character, or a byte written as a number of two or more figures.
std::optional<std::int64_t> parseCharOrByte(std::string_view text);

}  // namespace parvolin::sim
