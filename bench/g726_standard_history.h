#pragma once

// The standard's form of the dq and sr histories (4-bit exponent, 6-bit mantissa, sign) and its
// floating multiplication, as a History for the codec's core. With it, the core decodes the
// standard G.726, so comparing it with the independent decoders checks everything the variant
// shares with the standard (tables, step size, reconstruction, update).

#include <array>
#include <cstdint>

#include "codec/g726_core.h"

namespace parvolin::bench {

// With kNegativeZeroPositive, a negative dq of magnitude 0 is stored as a positive zero, as
// the variant stores it: the variant's one rule that is not about number form.
template <bool kNegativeZeroPositive>
struct StandardHistoryWith {
  static constexpr std::int16_t kResetValue = 32;

  // Number of bits of `v`: the smallest e with v < 2^e, at most 15.
  static int exponentOf(int v) {
    int e = 0;
    while (e < 15 && v >= (1 << e)) ++e;
    return e;
  }

  static std::int16_t toFloat(int magnitude, bool negative) {
    if (magnitude == 0) {
      return static_cast<std::int16_t>(negative && !kNegativeZeroPositive ? 0xFC20 - 0x10000
                                                                          : 0x20);
    }
    const int e = exponentOf(magnitude);
    const int f = (e << 6) + ((magnitude << 6) >> e);
    return static_cast<std::int16_t>(negative ? f - 0x400 : f);
  }

  // an × srn where an is a coefficient >> 2 and srn a value in floating form.
  static int fmult(int an, int srn) {
    const int anmag = an > 0 ? an : ((-an) & 0x1FFF);
    const int anexp = exponentOf(anmag) - 6;
    const int anmant = anmag == 0 ? 32 : anexp >= 0 ? anmag >> anexp : anmag << -anexp;
    const int wanexp = anexp + ((srn >> 6) & 0xF) - 13;
    const int wanmant = (anmant * (srn & 077) + 0x30) >> 4;
    const int retval = wanexp >= 0 ? ((wanmant << wanexp) & 0x7FFF) : (wanmant >> -wanexp);
    return ((an ^ srn) < 0) ? -retval : retval;
  }

  class Zeros {
   public:
    void load(const std::array<std::int16_t, 6>& b, const std::array<std::int16_t, 6>& dq) {
      b_ = b;
      dq_ = dq;
    }
    void store(std::array<std::int16_t, 6>& b, std::array<std::int16_t, 6>& dq) const {
      b = b_;
      dq = dq_;
    }
    int predict() const {
      int sezi = 0;
      for (int i = 0; i < 6; ++i) sezi += fmult(b_[i] >> 2, dq_[i]);
      return codec::g726::toInt16(sezi);
    }
    void adapt(int magnitude, int sign) {
      const bool negative = sign != 0;
      for (int i = 0; i < 6; ++i) {
        int bi = b_[i] - (b_[i] >> 8);
        if (magnitude != 0) bi += (negative == (dq_[i] < 0)) ? 128 : -128;
        b_[i] = static_cast<std::int16_t>(bi);
      }
    }
    void clear() { b_ = {}; }
    void push(int magnitude, int sign) {
      const bool negative = sign != 0;
      for (int i = 5; i > 0; --i) dq_[i] = dq_[i - 1];
      dq_[0] = toFloat(magnitude, negative);
    }

   private:
    std::array<std::int16_t, 6> b_{};
    std::array<std::int16_t, 6> dq_{};
  };

  static int polePredictor(int a0, int a1, int sr0, int sr1) {
    return codec::g726::toInt16(fmult(a1 >> 2, sr1) + fmult(a0 >> 2, sr0));
  }
  static int storeSr(int sr) {
    if (sr <= -32768) return static_cast<std::int16_t>(0xFC20 - 0x10000);
    if (sr == 0) return 0x20;
    return sr < 0 ? toFloat(-sr, true) : toFloat(sr, false);
  }

  static codec::DecoderState resetState() {
    codec::DecoderState s;
    s.dq.fill(kResetValue);
    s.sr.fill(kResetValue);
    return s;
  }
};

using StandardHistory = StandardHistoryWith<false>;
using StandardHistoryPositiveZero = StandardHistoryWith<true>;

}  // namespace parvolin::bench
