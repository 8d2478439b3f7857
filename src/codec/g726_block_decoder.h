#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/decoder_state.h"
#include "codec/g726_core.h"
#include "codec/g726_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The decoder's fast form: a run of codes decoded with the whole state in registers, loaded once
// before the run and stored once after it. It computes exactly what the step of g726_core.h
// computes (the encoder's and the tests' reference), reorganised for speed:
//  - Both predictors in one SSE2 multiply-add: a[0], a[1], b[0..5] in one register against
//    sr[0], sr[1], dq[0..5] in another, so that one shift moves both histories on.
//  - a and b adapt together in their lanes, the limits as minima and maxima with constants.
//  - Each code has its own 4096 bytes of tables: dq signed for y >> 2, the zero predictor's ±128
//    step and the targets of dms, dml and yu. Whether dq is 0 depends on the code only (y stays
//    within 544..5120: DQLN -2048 always gives 0, every other DQLN a magnitude of at least 1).
//  - dms, dml and yu adapt side by side in one register.
//  - The signs of dqsez (pk) run as a history of bits that indexes the pole update's steps.
//    fa1's share, held to -256..255, is the standard's "beyond ±8191 only the sign counts".
//  - td is not kept (it is a2 < -11776); a transition finishes its code on a path of its own.
// y stays within 544..5120 (so the dq index within its table) because the constructor holds the
// loaded yl, yu and ap to what decoding reaches (yl >> 6 and yu within 544..5120, ap >= 0) and
// every step keeps them there: y lies between yl >> 6 and yu. A state that decoding cannot reach
// (those out of range, td apart from a2) may decode differently from the reference step, never
// out of bounds. Other machines than x86-64 decode with the reference step.
namespace parvolin::codec::g726 {

#if defined(__SSE2__)

// Everything the block decoder looks up for one code, in 4096 bytes, so that one index (the code
// times 4096) reaches it all: dq for y >> 2, then the zero predictor's step
// (±128 by the code's sign in lanes 2-7, 0 for a difference of magnitude 0) and what the
// adaptation follows (F, F << 2 and W in lanes 0-2: the targets of dms, dml and yu). dq is signed,
// for dql = DQLN + (y >> 2): 0 below 0 (a negative dq of magnitude 0 is stored as 0), the antilog
// up to kMaxDql and the antilog of kMaxDql beyond it, as reconstructMagnitude has it. y stays
// within 544..5120 (see BlockDecoder), so y >> 2 within 136..1280.
constexpr std::size_t kDqEntries = 2032;
constexpr int kMinY = 544;
constexpr int kMaxY = 5120;
static_assert((kMaxY >> 2) < static_cast<int>(kDqEntries));
struct alignas(16) CodeTables {
  std::array<std::int16_t, kDqEntries> dq;
  std::array<std::int16_t, 8> bStep;
  std::array<std::int16_t, 8> adaptTarget;
};
static_assert(sizeof(CodeTables) == 4096);

// The pole update's steps by the signs of dqsez (bit 0 now, bit 1 a sample before, bit 2 two
// samples before; 1 = negative), as vectors over the coefficients' lanes (a1 in lane 0, a2 in 1):
// `fa1Sign` turns a1, moved to lane 1, into fa1 (a1 where the last two signs differ, else -a1);
// `step` is a1's step (-192 where the last two differ, else 192) and a2's (-128 where now and two
// before differ, else 128). Two arrays of 16-byte entries, so that the index needs no shift of its
// own (twice the signs, scaled by 8 in the address).
using Lanes = std::array<std::int16_t, 8>;
struct PoleSteps {
  alignas(16) std::array<Lanes, 8> fa1Sign;
  alignas(16) std::array<Lanes, 8> step;
};
inline constexpr auto kPoleSteps = [] {
  PoleSteps t{};
  for (unsigned i = 0; i < 8; ++i) {
    const bool pks1 = ((i ^ (i >> 1)) & 1) != 0;
    const bool pks2 = ((i ^ (i >> 2)) & 1) != 0;
    t.fa1Sign[i][1] = pks1 ? 1 : -1;
    t.step[i][0] = pks1 ? -192 : 192;
    t.step[i][1] = pks2 ? -128 : 128;
  }
  return t;
}();

// A code's tables and the pole steps, so that one register reaches them all.
template <class Rate>
struct DecodeTables {
  std::array<CodeTables, Rate::kCodeMask + 1> codes;
  PoleSteps poleSteps;
};

template <class Rate>
inline constexpr auto kDecodeTables = [] {
  DecodeTables<Rate> tables{};
  tables.poleSteps = kPoleSteps;
  auto& t = tables.codes;
  for (unsigned c = 0; c <= Rate::kCodeMask; ++c) {
    const bool negative = (c & Rate::kSignBit) != 0;
    const int dqln = Rate::kDqln[c];
    const int step = dqln < 0 ? 0 : negative ? -128 : 128;
    for (std::size_t lane = 2; lane < 8; ++lane) t[c].bStep[lane] = static_cast<std::int16_t>(step);
    t[c].adaptTarget[0] = Rate::kF[c];
    t[c].adaptTarget[1] = static_cast<std::int16_t>(Rate::kF[c] * 4);
    t[c].adaptTarget[2] = Rate::kW[c];
    for (std::size_t i = 0; i < kDqEntries; ++i) {
      const int dql = dqln + static_cast<int>(i);
      const int magnitude = dql < 0 ? 0 : antilog(std::min(dql, kMaxDql));
      t[c].dq[i] = static_cast<std::int16_t>(negative ? -magnitude : magnitude);
    }
  }
  return tables;
}();

template <class Rate>
class BlockDecoder {
 public:
  explicit BlockDecoder(const DecoderState& s)
      : coefficients_(
            _mm_setr_epi16(s.a[0], s.a[1], s.b[0], s.b[1], s.b[2], s.b[3], s.b[4], s.b[5])),
        history_(
            _mm_setr_epi16(s.sr[0], s.sr[1], s.dq[0], s.dq[1], s.dq[2], s.dq[3], s.dq[4], s.dq[5])),
        yl_(std::clamp<std::int32_t>(s.yl, kMinY << 6, (kMaxY << 6) + 63)),
        yu_(std::clamp<int>(s.yu, kMinY, kMaxY)),
        adaptation_(_mm_setr_epi16(s.dms, s.dml, static_cast<std::int16_t>(yu_), 0, 0, 0, 0, 0)),
        ap_(std::max<int>(s.ap, 0)),
        tables_(&kDecodeTables<Rate>),
        signs_((s.pk[0] != 0 ? 1u : 0u) | (s.pk[1] != 0 ? 2u : 0u)) {
    // The address hidden from the optimizer, so that it is not formed anew for every code.
    __asm__("" : "+r"(tables_));
  }

  void store(DecoderState& s) const {
    alignas(16) std::int16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), history_);
    s.sr = {lanes[0], lanes[1]};
    std::copy(lanes + 2, lanes + 8, s.dq.begin());
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), coefficients_);
    std::copy(lanes + 2, lanes + 8, s.b.begin());
    s.yl = yl_;
    s.yu = static_cast<std::int16_t>(yu_);
    s.dms = static_cast<std::int16_t>(_mm_extract_epi16(adaptation_, 0));
    s.dml = static_cast<std::int16_t>(_mm_extract_epi16(adaptation_, 1));
    s.ap = static_cast<std::int16_t>(ap_);
    s.a = {lanes[0], lanes[1]};
    s.pk = {static_cast<std::int16_t>(signs_ & 1), static_cast<std::int16_t>((signs_ >> 1) & 1)};
    s.td = td() ? 1 : 0;
  }

  // The sample of `code` (its low bits only); adapts the state.
  [[gnu::always_inline]] std::int16_t decode(unsigned code) {
    return decodeShifted(code << kCodeShift);
  }

  // decode() for the code shifted left by kCodeShift (the bits below and above it are not
  // looked at): callers that take codes from wider words shift them there in one step.
  static constexpr int kCodeShift = 12;
  static_assert(sizeof(CodeTables) == std::size_t{1} << kCodeShift);
  [[gnu::always_inline]] std::int16_t decodeShifted(unsigned shiftedCode) {
    const CodeTables& t =
        *reinterpret_cast<const CodeTables*>(reinterpret_cast<const char*>(tables_->codes.data()) +
                                             (shiftedCode & (Rate::kCodeMask << kCodeShift)));

    // Prediction: both predictors in one multiply-add, a × sr in lane 0 and b × dq in 1-3.
    const __m128i products = _mm_madd_epi16(coefficients_, history_);
    const int poles = _mm_cvtsi128_si32(products);
    const int sepi = toInt16(poles >> 13);
    const int sezi =
        toInt16(static_cast<int>(horizontalSum(products) - static_cast<unsigned>(poles)) >> 13);
    const int se = toInt16(sezi + sepi) >> 1;
    const int sez = sezi >> 1;
    const int y = stepSize();

    // Reconstruction.
    const int dq = t.dq.data()[static_cast<unsigned>(y >> 2)];
    const int sr = se + dq;               // kept to 16 bits where it is stored and returned
    const int dqsez = toInt16(sez + dq);  // sr - se + sez, as in the reference step
    // The signs of dqsez now, a sample and two samples before (1 = negative).
    const unsigned signs = (signs_ << 1) | (static_cast<unsigned>(dqsez) >> 31);
    signs_ = signs;

    // A transition (only while a tone is detected) clears a and b and sets ap to 256: a path of
    // its own, so that the common one does not carry the question to its end.
    if (td() && transition(dq)) [[unlikely]] {
      pushHistory(dq, sr);
      adaptScale(t, y);
      coefficients_ = _mm_setzero_si128();
      ap_ = 256;
      return static_cast<std::int16_t>(sr * 4);
    }

    // The b update compares with the signs from before.
    const __m128i negativeBefore = _mm_srai_epi16(history_, 15);
    pushHistory(dq, sr);
    adaptScale(t, y);
    updateCoefficients(signs, dqsez, t.bStep, negativeBefore);
    // ap moves toward 512 in fast mode: y < 1536, a tone, or the means of F apart.
    const int apTarget = y < 1536 || td() ? 0x200 : fastWhereMeansApart();
    ap_ += (apTarget - ap_) >> 4;
    return static_cast<std::int16_t>(sr * 4);
  }

 private:
  // sr moves to lane 1, dq[i] to lane i + 3; the new sr and dq go to lanes 0 and 2.
  [[gnu::always_inline]] void pushHistory(int dq, int sr) {
    history_ = _mm_insert_epi16(_mm_insert_epi16(_mm_slli_si128(history_, 2), dq, 2), sr, 0);
  }

  // Scale factor adaptation and adaptation speed control: dms += (F - dms) >> 5,
  // dml += ((F << 2) - dml) >> 7 and yu = y + ((W - y) >> 5) held to 544..5120, side by side,
  // the shifts as high halves of products with 2^11 and 2^9; then yl follows yu.
  [[gnu::always_inline]] void adaptScale(const CodeTables& t, int y) {
    // (target - base) × k as (base - target) × -k: the subtraction takes the target from memory.
    const __m128i base = _mm_insert_epi16(adaptation_, y, 2);
    const __m128i target = _mm_load_si128(reinterpret_cast<const __m128i*>(t.adaptTarget.data()));
    adaptation_ = _mm_add_epi16(
        base, _mm_mulhi_epi16(_mm_sub_epi16(base, target),
                              _mm_setr_epi16(-(1 << 11), -(1 << 9), -(1 << 11), 0, 0, 0, 0, 0)));
    adaptation_ = _mm_max_epi16(
        _mm_min_epi16(adaptation_, _mm_setr_epi16(32767, 32767, kMaxY, 0, 0, 0, 0, 0)),
        _mm_setr_epi16(-32768, -32768, kMinY, 0, 0, 0, 0, 0));
    yu_ = _mm_extract_epi16(adaptation_, 2);
    yl_ += yu_ + ((-yl_) >> 6);
  }

  // 0x200 where |(dms << 2) - dml| >= dml >> 3 (the short- and long-term means of F apart),
  // else 0. For integers, |d| < dml >> 3 is 8|d| + 8 <= dml, which with d = 4 dms - dml is
  // 32 dms - 9 dml < -7 and 7 dml - 32 dms < -7: both sums from one multiply-add. The mask of
  // the sums below -7 is 0xFF where both are (close), else at most 0xF0: 0x2FE minus it has
  // bit 9 set only for the latter.
  [[gnu::always_inline]] int fastWhereMeansApart() const {
    const __m128i sums = _mm_madd_epi16(_mm_shufflelo_epi16(adaptation_, 0x44),
                                        _mm_setr_epi16(32, -9, -32, 7, 0, 0, 0, 0));
    const __m128i close = _mm_cmpgt_epi32(_mm_setr_epi32(-7, -7, 0, 0), sums);
    return (0x2FE - _mm_movemask_epi8(close)) & 0x200;
  }

  // Tone detected. Not kept: after every step td is a2 < -11776 (a transition sets a2 to 0 and
  // clears td), and so it is in every state decoding reaches.
  [[gnu::always_inline]] bool td() const {
    return static_cast<std::int16_t>(_mm_extract_epi16(coefficients_, 1)) < -11776;
  }

  // The four 32-bit lanes summed, modulo 2^32.
  [[gnu::always_inline]] static unsigned horizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
    return static_cast<unsigned>(_mm_cvtsi128_si32(v));
  }

  // yu in fast mode (ap >= 256), otherwise yl >> 6 moved toward yu by the speed weight.
  // Fast mode is the common case: nothing of the mix is computed for it.
  [[gnu::always_inline]] int stepSize() const {
    if (ap_ >= 256) [[likely]]
      return yu_;
    const int yl = yl_ >> 6;
    const int dif = yu_ - yl;
    return yl + ((dif * (ap_ >> 2) + ((dif >> 31) & 0x3F)) >> 6);
  }

  // Whether a tone gives way to a large difference (only asked while td is set).
  [[gnu::always_inline]] bool transition(int dq) const {
    const int ylint = yl_ >> 15;
    const int ylfrac = (yl_ >> 10) & 0x1F;
    const int thr1 = (32 + ylfrac) << ylint;
    const int thr2 = ylint > 9 ? 31 << 10 : thr1;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    return std::abs(dq) > dqthr;
  }

  // a and b leak, and step toward the signs: all eight in their lanes, the limits as minima and
  // maxima. a1 and a2 step only where dqsez is not 0: by `signs` (PoleSteps), a2 also by fa1 >> 5
  // held to -256..255 (beyond ±8191 only fa1's sign counts), then a2 is held to ±12288 and a1 to
  // ±(15360 - a2). b steps ±128 toward the agreement of the new dq's sign with each dq before it
  // (a stored 0 counts as positive): the code's signed step, negated in the lanes where the dq
  // before was negative (`negative`, -1 there; lanes 0 and 1 hold sr's signs and step 0).
  [[gnu::always_inline]] void updateCoefficients(unsigned signs, int dqsez,
                                                 const std::array<std::int16_t, 8>& bStep,
                                                 __m128i negative) {
    const __m128i c = coefficients_;
    // a1 in lanes 0-3, taken before the leak so that the leak may work in place.
    const __m128i a1 = _mm_shufflelo_epi16(c, 0x00);
    // a2 leaks by a2 >> 7, the others by >> 8: the shifts as high halves of products.
    __m128i next = _mm_sub_epi16(
        c, _mm_mulhi_epi16(c, _mm_setr_epi16(256, 512, 256, 256, 256, 256, 256, 256)));
    const __m128i sign = _mm_or_si128(negative, _mm_set1_epi16(1));
    next = _mm_add_epi16(
        next,
        _mm_mullo_epi16(sign, _mm_load_si128(reinterpret_cast<const __m128i*>(bStep.data()))));
    if (dqsez != 0) [[likely]] {
      const std::size_t twice = (signs << 1) & 14;
      const char* const steps = reinterpret_cast<const char*>(&tables_->poleSteps);
      const auto lanes = [&](std::size_t offset) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(steps + offset + twice * 8));
      };
      // a1 to lane 1, made fa1 there and 0 elsewhere, shifted and held.
      __m128i fa1 = _mm_mullo_epi16(a1, lanes(offsetof(PoleSteps, fa1Sign)));
      fa1 = _mm_max_epi16(_mm_min_epi16(_mm_srai_epi16(fa1, 5), _mm_set1_epi16(255)),
                          _mm_set1_epi16(-256));
      next = _mm_add_epi16(next, _mm_add_epi16(fa1, lanes(offsetof(PoleSteps, step))));
    }
    next = _mm_max_epi16(
        _mm_min_epi16(next, _mm_setr_epi16(32767, 12288, 32767, 32767, 32767, 32767, 32767, 32767)),
        _mm_setr_epi16(-32768, -12288, -32768, -32768, -32768, -32768, -32768, -32768));
    // a2 alone in lane 0, for a1's limits there.
    const __m128i a2 =
        _mm_and_si128(_mm_shufflelo_epi16(next, 0x01), _mm_setr_epi16(-1, 0, 0, 0, 0, 0, 0, 0));
    next = _mm_min_epi16(
        next,
        _mm_sub_epi16(_mm_setr_epi16(15360, 32767, 32767, 32767, 32767, 32767, 32767, 32767), a2));
    coefficients_ =
        _mm_max_epi16(next, _mm_add_epi16(a2, _mm_setr_epi16(-15360, -32768, -32768, -32768, -32768,
                                                             -32768, -32768, -32768)));
  }

  __m128i coefficients_;  // a[0], a[1] (a1, a2), b[0] ... b[5]
  __m128i history_;       // sr[0], sr[1], dq[0] ... dq[5]
  std::int32_t yl_;
  int yu_;
  __m128i adaptation_;  // dms, dml, yu
  int ap_;
  const DecodeTables<Rate>* tables_;
  unsigned signs_;  // the signs of dqsez, the latest in bit 0: pk[0], pk[1] in bits 0 and 1
};

#else

// Without SSE2, the reference step.
template <class Rate>
class BlockDecoder {
 public:
  explicit BlockDecoder(const DecoderState& s) : s_(s) {}
  void store(DecoderState& s) const { s_.store(s); }
  std::int16_t decode(unsigned code) { return decodeCode<Rate>(s_, code); }
  static constexpr int kCodeShift = 12;
  std::int16_t decodeShifted(unsigned shiftedCode) { return decode(shiftedCode >> kCodeShift); }

 private:
  Working<LinearHistory> s_;
};

#endif

}  // namespace parvolin::codec::g726
