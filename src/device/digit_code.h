#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace parvolin::device {

// The two tables that turn a digit nibble into a character: A for caller numbers, B for dialled
// digits. Nibble 0 is a space (no digit), 1-9 the digits 1-9, 10 the digit 0.
enum class DigitTable { A, B };

char digitChar(std::uint8_t nibble, DigitTable table);
// The nibble of a table's character; nothing for a character the table lacks.
std::optional<std::uint8_t> digitNibble(char c, DigitTable table);

// Where numbers sit in a 32-byte event payload: a caller number in bytes 1-6 (12 nibbles), a
// dialled number in bytes 7-17 (22 nibbles), high nibble first.
inline constexpr std::size_t kCallerNumberOffset = 1;
inline constexpr std::size_t kCallerNumberDigits = 12;
inline constexpr std::size_t kDialledNumberOffset = 7;
inline constexpr std::size_t kDialledNumberDigits = 22;

// Packs `digits` (at most `count` characters of `table`) into `payload` from byte `offset`;
// unused nibbles stay 0. False when a character is not in the table or there are too many.
[[nodiscard]] bool packDigits(std::string_view digits, DigitTable table, std::size_t offset,
                              std::size_t count, std::span<std::uint8_t> payload);
// The `count` characters of the nibbles packed at `offset`.
std::string unpackDigits(std::span<const std::uint8_t> payload, std::size_t offset,
                         std::size_t count, DigitTable table);

}  // namespace parvolin::device
