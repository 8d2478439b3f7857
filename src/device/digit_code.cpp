#include "device/digit_code.h"

namespace parvolin::device {
namespace {

// Characters of nibbles 11-15 in each table.
constexpr std::string_view kSignalsA = ";<OP?";
constexpr std::string_view kSignalsB = ";<=>?";

}  // namespace

char digitChar(std::uint8_t nibble, DigitTable table) {
  nibble &= 0x0F;
  if (nibble == 0) return ' ';
  if (nibble <= 9) return static_cast<char>('0' + nibble);
  if (nibble == 10) return '0';
  return (table == DigitTable::A ? kSignalsA : kSignalsB)[nibble - 11];
}

std::optional<std::uint8_t> digitNibble(char c, DigitTable table) {
  if (c == ' ') return 0;
  if (c == '0') return 10;
  if (c >= '1' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  const std::string_view signals = table == DigitTable::A ? kSignalsA : kSignalsB;
  const std::size_t at = signals.find(c);
  if (at == std::string_view::npos) return std::nullopt;
  return static_cast<std::uint8_t>(11 + at);
}

bool packDigits(std::string_view digits, DigitTable table, std::size_t offset, std::size_t count,
                std::span<std::uint8_t> payload) {
  if (digits.size() > count || offset + (count + 1) / 2 > payload.size()) return false;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const auto nibble = digitNibble(digits[i], table);
    if (!nibble) return false;
    std::uint8_t& byte = payload[offset + i / 2];
    byte = (i % 2 == 0) ? static_cast<std::uint8_t>((byte & 0x0F) | (*nibble << 4))
                        : static_cast<std::uint8_t>((byte & 0xF0) | *nibble);
  }
  return true;
}

std::string unpackDigits(std::span<const std::uint8_t> payload, std::size_t offset,
                         std::size_t count, DigitTable table) {
  std::string text;
  for (std::size_t i = 0; i < count && offset + i / 2 < payload.size(); ++i) {
    const std::uint8_t byte = payload[offset + i / 2];
    text += digitChar(i % 2 == 0 ? byte >> 4 : byte & 0x0F, table);
  }
  return text;
}

}  // namespace parvolin::device
