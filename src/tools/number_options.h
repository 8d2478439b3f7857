#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers given on a command line, each checked against the range its option allows before it
// is used: a mistyped or absurd value ("1e17", "inf", "-5") is refused with a message that
// names the option and the range, never taken as some other number.
namespace parvolin::tools {

// A decimal number (a fraction allowed) from `min` to `max`. Otherwise nothing, with `error`
// "OPTION must be a number from MIN to MAX, not 'TEXT'".
[[nodiscard]] std::optional<double> parseDecimalOption(std::string_view option,
                                                       std::string_view text, double min,
                                                       double max, std::string& error);

// A whole number, decimal or "0x" hex, from `min` to `max`; otherwise nothing, with `error`
// "OPTION must be a whole number from MIN to MAX, not 'TEXT'".
[[nodiscard]] std::optional<std::int64_t> parseWholeOption(std::string_view option,
                                                           std::string_view text, std::int64_t min,
                                                           std::int64_t max, std::string& error);

}  // namespace parvolin::tools
