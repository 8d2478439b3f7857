#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "codec/decoder_state.h"
#include "codec/g726_tables.h"

// One sample of the ADPCM algorithm, split in the stages both the decoder and the encoder run:
// prediction and step size before the code is known, then reconstruction and the update of the
// state. The encoder calls exactly these, so a decoder fed its codes tracks it sample for sample.
namespace parvolin::codec::g726 {

inline int toInt16(int v) {
  return static_cast<std::int16_t>(v);
}

// How the dq and sr histories are kept and multiplied. This system keeps plain two's-complement
// values and multiplies exactly; the standard's floating form can be put in its place (the
// benchmarks' cross-check does), which leaves every other step as it is.
struct LinearHistory {
  static constexpr std::int16_t kResetValue = 0;

  // The predictors multiply exactly with the histories. The sums fit in 32 bits: |b| and |sr|
  // stay within 16 bits, |dq| below 8192 and |a| below 27648 (the pole limits).
  static int zeroPredictor(const DecoderState& s) {
    std::int32_t zeros = 0;
    for (int i = 0; i < 6; ++i) zeros += std::int32_t{s.b[i]} * s.dq[i];
    return toInt16(zeros >> 13);
  }
  static int polePredictor(const DecoderState& s) {
    const std::int32_t poles = std::int32_t{s.a[0]} * s.sr[0] + std::int32_t{s.a[1]} * s.sr[1];
    return toInt16(poles >> 13);
  }
  // A negative dq of magnitude 0 is stored as 0, and so counts as positive from then on.
  static std::int16_t storeDq(int magnitude, bool negative) {
    return static_cast<std::int16_t>(negative ? -magnitude : magnitude);
  }
  static std::int16_t storeSr(int sr) { return static_cast<std::int16_t>(sr); }
};

// What the state predicts before the next code is known.
struct Prediction {
  int se;   // signal estimate
  int sez;  // zero predictor's share of the estimate
  int y;    // quantizer step size
};

// Step size: yu in fast mode (ap >= 256), otherwise yl moved toward yu by the speed weight.
inline int stepSize(const DecoderState& s) {
  if (s.ap >= 256) return s.yu;
  int y = s.yl >> 6;
  const int dif = s.yu - y;
  const int al = s.ap >> 2;
  if (dif > 0) {
    y += (dif * al) >> 6;
  } else if (dif < 0) {
    y += (dif * al + 0x3F) >> 6;
  }
  return y;
}

template <class History = LinearHistory>
inline Prediction predict(const DecoderState& s) {
  const int sezi = History::zeroPredictor(s);
  const int sepi = History::polePredictor(s);
  return {toInt16(sezi + sepi) >> 1, sezi >> 1, stepSize(s)};
}

// Magnitude of the quantized difference whose log magnitude (without step size) is `dqln`.
// The step size stays within 544..5120, so dql >> 7 never exceeds 12.
inline int reconstructMagnitude(int dqln, int y) {
  const int dql = dqln + (y >> 2);
  if (dql < 0) return 0;
  const int dex = (dql >> 7) & 15;
  const int dqt = 128 + (dql & 127);
  return (dqt << 7) >> (14 - dex);
}

// Adapts the state to the sample just reconstructed. `magnitude` and `negative` describe dq.
template <class History = LinearHistory>
inline void update(DecoderState& s, int y, int wi, int fi, int magnitude, bool negative, int sr,
                   int dqsez) {
  const int pk0 = dqsez < 0 ? 1 : 0;

  // Transition detector: a tone that gives way to a large difference resets the predictor.
  const int ylint = s.yl >> 15;
  const int ylfrac = (s.yl >> 10) & 0x1F;
  const int thr1 = (32 + ylfrac) << ylint;
  const int thr2 = ylint > 9 ? 31 << 10 : thr1;
  const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
  const bool tr = s.td != 0 && magnitude > dqthr;

  // Scale factor adaptation.
  const int yu = std::clamp(y + ((wi - y) >> 5), 544, 5120);
  s.yu = static_cast<std::int16_t>(yu);
  s.yl += yu + ((-s.yl) >> 6);

  int a2p = 0;
  if (tr) {
    s.a = {};
    s.b = {};
  } else {
    const int pks1 = pk0 ^ s.pk[0];
    a2p = s.a[1] - (s.a[1] >> 7);
    if (dqsez != 0) {
      const int fa1 = pks1 ? s.a[0] : -s.a[0];
      if (fa1 < -8191) {
        a2p -= 0x100;
      } else if (fa1 > 8191) {
        a2p += 0xFF;
      } else {
        a2p += fa1 >> 5;
      }
      a2p = std::clamp((pk0 ^ s.pk[1]) ? a2p - 0x80 : a2p + 0x80, -12288, 12288);
    }
    s.a[1] = static_cast<std::int16_t>(a2p);

    int a1 = s.a[0] - (s.a[0] >> 8);
    if (dqsez != 0) a1 += pks1 ? -192 : 192;
    const int a1ul = 15360 - a2p;
    s.a[0] = static_cast<std::int16_t>(std::clamp(a1, -a1ul, a1ul));

    // Compared with the history as it stood before this sample; b wraps in 16 bits.
    for (int i = 0; i < 6; ++i) {
      int bi = s.b[i] - (s.b[i] >> 8);
      if (magnitude != 0) bi += (negative == (s.dq[i] < 0)) ? 128 : -128;
      s.b[i] = static_cast<std::int16_t>(bi);
    }
  }

  for (int i = 5; i > 0; --i) s.dq[i] = s.dq[i - 1];
  s.dq[0] = History::storeDq(magnitude, negative);
  s.sr[1] = s.sr[0];
  s.sr[0] = History::storeSr(sr);
  s.pk[1] = s.pk[0];
  s.pk[0] = static_cast<std::int16_t>(pk0);

  s.td = (!tr && a2p < -11776) ? 1 : 0;

  // Adaptation speed control.
  s.dms = static_cast<std::int16_t>(s.dms + ((fi - s.dms) >> 5));
  s.dml = static_cast<std::int16_t>(s.dml + (((fi << 2) - s.dml) >> 7));
  if (tr) {
    s.ap = 256;
  } else if (y < 1536 || s.td != 0 || std::abs((s.dms << 2) - s.dml) >= (s.dml >> 3)) {
    s.ap = static_cast<std::int16_t>(s.ap + ((0x200 - s.ap) >> 4));
  } else {
    s.ap = static_cast<std::int16_t>(s.ap + ((-s.ap) >> 4));
  }
}

// Reconstructs the sample of `code` from the prediction `p` and adapts the state. Returns the
// 16-bit output sample (sr × 4, low 16 bits).
template <class Rate, class History = LinearHistory>
inline std::int16_t reconstructAndUpdate(DecoderState& s, const Prediction& p, unsigned code) {
  code &= Rate::kCodeMask;
  const int magnitude = reconstructMagnitude(Rate::kDqln[code], p.y);
  const bool negative = (code & Rate::kSignBit) != 0;
  const int sr = toInt16(negative ? p.se - magnitude : p.se + magnitude);
  const int dqsez = toInt16(sr - p.se + p.sez);
  update<History>(s, p.y, Rate::kW[code], Rate::kF[code], magnitude, negative, sr, dqsez);
  return static_cast<std::int16_t>(sr * 4);
}

template <class Rate, class History = LinearHistory>
inline std::int16_t decodeCode(DecoderState& s, unsigned code) {
  return reconstructAndUpdate<Rate, History>(s, predict<History>(s), code);
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
  while (i < int(Rate::kDecisionLevels.size()) && dln >= Rate::kDecisionLevels[i]) ++i;
  const int levels = int(Rate::kDecisionLevels.size());
  if (d < 0) return unsigned(2 * levels + 1 - i);
  if (i == 0 && Rate::kBitsPerCode == 3) return Rate::kCodeMask;
  return unsigned(i);
}

}  // namespace parvolin::codec::g726
