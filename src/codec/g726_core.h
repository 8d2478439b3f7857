#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "codec/decoder_state.h"
#include "codec/g726_tables.h"
#include "codec/g726_zeros.h"

// One sample of the ADPCM algorithm, split in the stages both the decoder and the encoder run:
// prediction and step size before the code is known, then reconstruction and the update of the
// state. The encoder calls exactly these, so a decoder fed its codes tracks it sample for sample.
//
// The stages work on a `Working` copy of DecoderState (scalars in registers, the zero predictor's
// coefficients and history in a vector where the machine has one); callers load it before a run
// of codes and store it back after.
namespace parvolin::codec::g726 {

// How the dq and sr histories are kept and multiplied. This system keeps plain two's-complement
// values and multiplies exactly; the standard's floating form can be put in its place (the
// benchmarks' cross-check does), which leaves every other step as it is.
template <class ZerosForm>
struct LinearHistoryWith {
  static constexpr std::int16_t kResetValue = 0;
  using Zeros = ZerosForm;

  // |a0| < 27648, |a1| <= 12288 and |sr| <= 32768: the sum fits in 32 bits.
  static int polePredictor(int a0, int a1, int sr0, int sr1) {
    return toInt16((a0 * sr0 + a1 * sr1) >> 13);
  }
  static int storeSr(int sr) { return sr; }
};
using LinearHistory = LinearHistoryWith<LinearZeros>;
using PortableLinearHistory = LinearHistoryWith<LinearZerosPortable>;

template <class History>
struct Working {
  typename History::Zeros zeros;  // b and dq
  std::int32_t yl;
  int yu, dms, dml, ap, a0, a1, pk0, pk1, sr0, sr1, td;

  explicit Working(const DecoderState& s)
      : yl(s.yl),
        yu(s.yu),
        dms(s.dms),
        dml(s.dml),
        ap(s.ap),
        a0(s.a[0]),
        a1(s.a[1]),
        pk0(s.pk[0]),
        pk1(s.pk[1]),
        sr0(s.sr[0]),
        sr1(s.sr[1]),
        td(s.td) {
    zeros.load(s.b, s.dq);
  }

  void store(DecoderState& s) const {
    s.yl = yl;
    s.yu = static_cast<std::int16_t>(yu);
    s.dms = static_cast<std::int16_t>(dms);
    s.dml = static_cast<std::int16_t>(dml);
    s.ap = static_cast<std::int16_t>(ap);
    s.a = {static_cast<std::int16_t>(a0), static_cast<std::int16_t>(a1)};
    s.pk = {static_cast<std::int16_t>(pk0), static_cast<std::int16_t>(pk1)};
    s.sr = {static_cast<std::int16_t>(sr0), static_cast<std::int16_t>(sr1)};
    s.td = static_cast<std::uint8_t>(td);
    zeros.store(s.b, s.dq);
  }
};

// What the state predicts before the next code is known.
struct Prediction {
  int se;   // signal estimate
  int sez;  // zero predictor's share of the estimate
  int y;    // quantizer step size
};

// Step size: yu in fast mode (ap >= 256), otherwise yl >> 6 moved toward yu by the speed weight,
// with 63 added before the shift when the difference is negative. Without branches: with
// speech the mode changes often.
template <class W>
[[gnu::always_inline]] inline int stepSize(const W& s) {
  const int yl = s.yl >> 6;
  const int dif = s.yu - yl;
  const int mixed = yl + ((dif * (s.ap >> 2) + ((dif >> 31) & 0x3F)) >> 6);
  return s.ap >= 256 ? s.yu : mixed;
}

template <class History>
[[gnu::always_inline]] inline Prediction predict(const Working<History>& s) {
  const int sezi = s.zeros.predict();
  const int sepi = History::polePredictor(s.a0, s.a1, s.sr0, s.sr1);
  return {toInt16(sezi + sepi) >> 1, sezi >> 1, stepSize(s)};
}

// Magnitude of the quantized difference for dql = DQLN + (y >> 2), dql >= 0. The step size stays
// within 544..5120, so dql stays below 1664 and dql >> 7 never exceeds 12.
constexpr int antilog(int dql) {
  const int dex = (dql >> 7) & 15;
  const int dqt = 128 + (dql & 127);
  return (dqt << 7) >> (14 - dex);
}

// Larger dql never occur; the table is clamped there so that no state can index past it.
// Entry 0 stands for every negative dql (magnitude 0), entry dql + 1 for dql.
constexpr int kMaxDql = 1791;
inline constexpr auto kAntilog = [] {
  std::array<std::int16_t, kMaxDql + 2> t{};
  for (int dql = 0; dql <= kMaxDql; ++dql) {
    t[static_cast<std::size_t>(dql + 1)] = static_cast<std::int16_t>(antilog(dql));
  }
  return t;
}();

[[gnu::always_inline]] inline int reconstructMagnitude(int dqln, int y) {
  return kAntilog[static_cast<std::size_t>(std::clamp(dqln + (y >> 2), -1, kMaxDql) + 1)];
}

// Adapts the state to the sample just reconstructed. `magnitude` and `sign` (0, or -1 when
// negative) describe dq.
template <class History>
[[gnu::always_inline]] inline void update(Working<History>& s, int y, int wi, int fi, int magnitude,
                                          int sign, int sr, int dqsez) {
  const int pk0 = dqsez < 0 ? 1 : 0;

  // Transition detector: a tone that gives way to a large difference resets the predictor.
  bool tr = false;
  if (s.td != 0) {
    const int ylint = s.yl >> 15;
    const int ylfrac = (s.yl >> 10) & 0x1F;
    const int thr1 = (32 + ylfrac) << ylint;
    const int thr2 = ylint > 9 ? 31 << 10 : thr1;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    tr = magnitude > dqthr;
  }

  // Scale factor adaptation.
  s.yu = std::clamp(y + ((wi - y) >> 5), 544, 5120);
  s.yl += s.yu + ((-s.yl) >> 6);

  int a2p = 0;
  if (tr) [[unlikely]] {
    s.a0 = 0;
    s.a1 = 0;
    s.zeros.clear();
  } else {
    const int pks1 = pk0 ^ s.pk0;
    a2p = s.a1 - (s.a1 >> 7);
    int a1 = s.a0 - (s.a0 >> 8);
    if (dqsez != 0) {
      const int fa1 = pks1 ? s.a0 : -s.a0;
      // Beyond ±8191 only fa1's sign counts. Tested on |a1|, which changes slowly, rather than
      // on fa1, whose sign follows the signal and would defeat branch prediction.
      if (std::abs(s.a0) > 8191) {
        a2p += fa1 < 0 ? -0x100 : 0xFF;
      } else {
        a2p += fa1 >> 5;
      }
      a2p = std::clamp(a2p + ((pk0 ^ s.pk1) ? -0x80 : 0x80), -12288, 12288);
      a1 += pks1 ? -192 : 192;
    }
    s.a1 = a2p;
    const int a1ul = 15360 - a2p;
    s.a0 = std::clamp(a1, -a1ul, a1ul);
    // Against the dq history as it stood before this sample.
    s.zeros.adapt(magnitude, sign);
  }

  s.zeros.push(magnitude, sign);
  s.sr1 = s.sr0;
  s.sr0 = History::storeSr(sr);
  s.pk1 = s.pk0;
  s.pk0 = pk0;
  s.td = (!tr && a2p < -11776) ? 1 : 0;

  // Adaptation speed control.
  s.dms += (fi - s.dms) >> 5;
  s.dml += ((fi << 2) - s.dml) >> 7;
  if (tr) [[unlikely]] {
    s.ap = 256;
  } else {
    const bool fast = y < 1536 || s.td != 0 || std::abs((s.dms << 2) - s.dml) >= (s.dml >> 3);
    s.ap += ((fast ? 0x200 : 0) - s.ap) >> 4;
  }
}

// Reconstructs the sample of `code` from the prediction `p` and adapts the state. Returns the
// 16-bit output sample (sr × 4, low 16 bits).
// DQLN, W and F of each code side by side, so that one index reaches all three.
struct CodeEntry {
  std::int16_t dqln, w, f, unused;
};
template <class Rate>
inline constexpr auto kCodeTable = [] {
  std::array<CodeEntry, Rate::kCodeMask + 1> t{};
  for (unsigned c = 0; c <= Rate::kCodeMask; ++c) {
    t[c] = {Rate::kDqln[c], Rate::kW[c], Rate::kF[c], 0};
  }
  return t;
}();

template <class Rate, class History>
[[gnu::always_inline]] inline std::int16_t reconstructAndUpdate(Working<History>& s,
                                                                const Prediction& p,
                                                                unsigned code) {
  code &= Rate::kCodeMask;
  const CodeEntry& entry = kCodeTable<Rate>[code];
  const int magnitude = reconstructMagnitude(entry.dqln, p.y);
  // The sign as a mask (0 or -1), applied without a branch: signs of speech are unpredictable.
  const int sign = -static_cast<int>((code & Rate::kSignBit) != 0);
  const int dq = (magnitude ^ sign) - sign;
  const int sr = toInt16(p.se + dq);
  // dqsez = sr - se + sez in 16 bits, which is sez + dq in 16 bits whether or not sr wrapped;
  // taken that way, the pole update does not wait for the pole prediction.
  const int dqsez = toInt16(p.sez + dq);
  update(s, p.y, entry.w, entry.f, magnitude, sign, sr, dqsez);
  return static_cast<std::int16_t>(sr * 4);
}

template <class Rate, class History>
[[gnu::always_inline]] inline std::int16_t decodeCode(Working<History>& s, unsigned code) {
  return reconstructAndUpdate<Rate>(s, predict(s), code);
}

// The standard's adaptive quantizer: the code for difference `d` (input >> 2 minus se) at step
// size `y`. At 24 kbit/s a small positive difference gives code 7, as the standard has it.
template <class Rate>
inline unsigned quantize(int d, int y) {
  const int dqm = std::abs(d);
  int exp = 0;
  while ((dqm >> 1) >= (1 << exp)) ++exp;
  const int mant = ((dqm << 7) >> exp) & 0x7F;
  const int dln = (exp << 7) + mant - (y >> 2);
  int i = 0;
  while (i < int(Rate::kDecisionLevels.size()) &&
         dln >= Rate::kDecisionLevels[static_cast<std::size_t>(i)])
    ++i;
  const int levels = int(Rate::kDecisionLevels.size());
  if (d < 0) return unsigned(2 * levels + 1 - i);
  if (i == 0 && Rate::kBitsPerCode == 3) return Rate::kCodeMask;
  return unsigned(i);
}

}  // namespace parvolin::codec::g726
