#include "tools/number_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "base/program_text.h"

namespace parvolin::tools {
namespace {

std::string decimalText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

std::optional<double> parseDecimalOption(std::string_view option, std::string_view text, double min,
                                         double max, std::string& error) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  // Written so that NaN and infinities fail too.
  if (text.empty() || ec != std::errc() || at != end || !(value >= min && value <= max)) {
    error = std::string(option) + " must be a number from " + decimalText(min) + " to " +
            decimalText(max) + ", not '" + base::printable(text) + "'";
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> parseWholeOption(std::string_view option, std::string_view text,
                                             std::int64_t min, std::int64_t max,
                                             std::string& error) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  std::int64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [at, ec] = std::from_chars(digits.data(), end, value, base);
  if (digits.empty() || ec != std::errc() || at != end || value < min || value > max) {
    error = std::string(option) + " must be a whole number from " + std::to_string(min) + " to " +
            std::to_string(max) + ", not '" + base::printable(text) + "'";
    return std::nullopt;
  }
  return value;
}

}  // namespace parvolin::tools
