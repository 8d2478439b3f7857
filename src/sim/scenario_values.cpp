#include "sim/scenario_values.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace parvolin::sim {

std::vector<std::string> splitWords(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t lo, std::int64_t hi) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi)
    return std::nullopt;
  return v;
}

std::optional<std::int64_t> parseSeconds(std::string_view text) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !(v >= 0) || v > 1e9) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(std::llround(v * 1000));
}

std::optional<std::int64_t> parseCharOrByte(std::string_view text) {
  if (text.size() == 1) return static_cast<unsigned char>(text[0]);
  return parseInteger(text, 0, 255);
}

}  // namespace parvolin::sim
