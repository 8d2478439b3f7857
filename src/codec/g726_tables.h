#pragma once

#include <array>
#include <cstdint>

// The integer tables of the G.726 reference algorithm at 16 and 24 kbit/s, indexed by code.
// W is used as stored (already scaled by 32); F is the rate-of-change value scaled by 512.
namespace parvolin::codec::g726 {

struct Rate16k {
  static constexpr int kBitsPerCode = 2;
  static constexpr unsigned kCodeMask = 3;
  static constexpr unsigned kSignBit = 2;
  // Reconstructed log magnitude of |I| (DQLN).
  static constexpr std::array<std::int16_t, 4> kDqln{116, 365, 365, 116};
  // Scale-factor multiplier (W).
  static constexpr std::array<std::int16_t, 4> kW{-704, 14048, 14048, -704};
  // Rate-of-change function (F).
  static constexpr std::array<std::int16_t, 4> kF{0, 0xE00, 0xE00, 0};
  // Quantizer decision levels on the normalized log magnitude.
  static constexpr std::array<std::int16_t, 1> kDecisionLevels{261};
};

struct Rate24k {
  static constexpr int kBitsPerCode = 3;
  static constexpr unsigned kCodeMask = 7;
  static constexpr unsigned kSignBit = 4;
  static constexpr std::array<std::int16_t, 8> kDqln{-2048, 135, 273, 373, 373, 273, 135, -2048};
  static constexpr std::array<std::int16_t, 8> kW{-128, 960, 4384, 18624, 18624, 4384, 960, -128};
  static constexpr std::array<std::int16_t, 8> kF{0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0};
  static constexpr std::array<std::int16_t, 3> kDecisionLevels{8, 218, 331};
};

}  // namespace parvolin::codec::g726
