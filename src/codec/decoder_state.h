#pragma once

#include <array>
#include <cstdint>

#include "codec/dava.h"

namespace parvolin::codec {

// The adaptation state of one ADPCM stream, in the names of the G.726 algorithm. A
// default-constructed state holds the reset values. The dq and sr histories hold plain
// two's-complement values (not the standard's floating form), reset to 0.
struct DecoderState {
  std::int32_t yl = 34816;           // locked (steady-state) step-size multiplier
  std::int16_t yu = 544;             // unlocked step-size multiplier
  std::int16_t dms = 0;              // short-term mean of F
  std::int16_t dml = 0;              // long-term mean of F
  std::int16_t ap = 0;               // speed-control weight between yu and yl
  std::array<std::int16_t, 2> a{};   // pole predictor coefficients
  std::array<std::int16_t, 6> b{};   // zero predictor coefficients
  std::array<std::int16_t, 2> pk{};  // signs of the last two dqsez values (1 = negative)
  std::array<std::int16_t, 6> dq{};  // last six quantized differences
  std::array<std::int16_t, 2> sr{};  // last two reconstructed samples
  std::uint8_t td = 0;               // tone detected

  bool operator==(const DecoderState&) const = default;
};

// Puts `state` to its reset values and `gain` to 1. Every user calls it before decoding a file.
void resetDecoder(DecoderState& state, DavaGainState& gain);

}  // namespace parvolin::codec
