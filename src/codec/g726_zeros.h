#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The zero predictor's part of the ADPCM state: the six coefficients b and the six last
// quantized differences dq, as plain two's-complement values. Two forms with the same results:
// a portable one over arrays, and one that keeps both in SSE2 registers (lanes 0-5; lanes 6 and
// 7 of b stay 0, so whatever the shift moves into lanes 6 and 7 of dq never counts).
namespace parvolin::codec::g726 {

inline int toInt16(int v) {
  return static_cast<std::int16_t>(v);
}

class LinearZerosPortable {
 public:
  void load(const std::array<std::int16_t, 6>& b, const std::array<std::int16_t, 6>& dq) {
    b_ = b;
    dq_ = dq;
  }
  void store(std::array<std::int16_t, 6>& b, std::array<std::int16_t, 6>& dq) const {
    b = b_;
    dq = dq_;
  }

  // sezi: the exact products summed in 32 bits (|b| <= 32768, |dq| < 8192), shifted, 16 bits.
  int predict() const {
    std::int32_t sum = 0;
    for (std::size_t i = 0; i < 6; ++i) sum += std::int32_t{b_[i]} * dq_[i];
    return toInt16(sum >> 13);
  }

  // `sign` is 0 or -1 (negative). Leak b - (b >> 8), then +128 where the new dq's sign agrees with
  // dq[i] (a stored 0 counts as positive) and -128 where not, unless the new dq is 0; b wraps in 16
  // bits.
  void adapt(int magnitude, int sign) {
    const int step = magnitude != 0 ? 128 : 0;
    for (std::size_t i = 0; i < 6; ++i) {
      const int disagree = sign ^ (dq_[i] >> 15);  // 0 or -1
      b_[i] = static_cast<std::int16_t>(b_[i] - (b_[i] >> 8) + ((step ^ disagree) - disagree));
    }
  }

  void clear() { b_ = {}; }

  // A negative dq of magnitude 0 is stored as 0, and so counts as positive from then on.
  void push(int magnitude, int sign) {
    for (std::size_t i = 5; i > 0; --i) dq_[i] = dq_[i - 1];
    dq_[0] = static_cast<std::int16_t>((magnitude ^ sign) - sign);
  }

 private:
  std::array<std::int16_t, 6> b_{};
  std::array<std::int16_t, 6> dq_{};
};

#if defined(__SSE2__)
class LinearZerosSse2 {
 public:
  void load(const std::array<std::int16_t, 6>& b, const std::array<std::int16_t, 6>& dq) {
    b_ = _mm_setr_epi16(b[0], b[1], b[2], b[3], b[4], b[5], 0, 0);
    dq_ = _mm_setr_epi16(dq[0], dq[1], dq[2], dq[3], dq[4], dq[5], 0, 0);
  }
  void store(std::array<std::int16_t, 6>& b, std::array<std::int16_t, 6>& dq) const {
    alignas(16) std::int16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), b_);
    for (std::size_t i = 0; i < 6; ++i) b[i] = lanes[i];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), dq_);
    for (std::size_t i = 0; i < 6; ++i) dq[i] = lanes[i];
  }

  int predict() const {
    __m128i sum = _mm_madd_epi16(b_, dq_);
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    return toInt16(_mm_cvtsi128_si32(sum) >> 13);
  }

  void adapt(int magnitude, int sign) {
    const __m128i leaked = _mm_sub_epi16(b_, _mm_srai_epi16(b_, 8));
    const __m128i disagree =
        _mm_xor_si128(_mm_srai_epi16(dq_, 15), _mm_set1_epi16(static_cast<std::int16_t>(sign)));
    // A mask rather than a choice: whether dq is 0 changes unpredictably.
    const __m128i step =
        _mm_and_si128(_mm_setr_epi16(128, 128, 128, 128, 128, 128, 0, 0),
                      _mm_set1_epi16(static_cast<std::int16_t>(-int{magnitude != 0})));
    b_ = _mm_add_epi16(leaked, _mm_sub_epi16(_mm_xor_si128(step, disagree), disagree));
  }

  void clear() { b_ = _mm_setzero_si128(); }

  void push(int magnitude, int sign) {
    dq_ = _mm_insert_epi16(_mm_slli_si128(dq_, 2), (magnitude ^ sign) - sign, 0);
  }

 private:
  __m128i b_ = _mm_setzero_si128();
  __m128i dq_ = _mm_setzero_si128();
};
using LinearZeros = LinearZerosSse2;
#else
using LinearZeros = LinearZerosPortable;
#endif

}  // namespace parvolin::codec::g726
