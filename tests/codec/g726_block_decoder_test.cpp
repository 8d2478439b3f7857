// The block decoder against the reference step of the codec's core: runs of every length, from
// states the reference reached, on random codes, speech and tones broken off by loud bursts (the
// transition detector's case). Samples and the stored state must agree after every run.

#include "codec/g726_block_decoder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/g726_core.h"
#include "codec/g726_encoder.h"
#include "codec/lv_format.h"
#include "codec/speech_like_signal.h"

namespace parvolin::codec {
namespace {

struct Lcg {
  std::uint32_t x;
  std::uint32_t next() {
    x = x * 1664525u + 1013904223u;
    return x >> 8;
  }
};

// Codes the reference encoder gives for `signal`, one per element.
template <class Rate>
std::vector<std::uint8_t> encode(const std::vector<std::int16_t>& signal) {
  g726::Working<g726::LinearHistory> s{DecoderState{}};
  std::vector<std::uint8_t> codes;
  for (std::int16_t x : signal) {
    const g726::Prediction p = g726::predict(s);
    const unsigned code = g726::quantize<Rate>((x >> 2) - p.se, p.y);
    g726::reconstructAndUpdate<Rate>(s, p, code);
    codes.push_back(static_cast<std::uint8_t>(code));
  }
  return codes;
}

// Steady tones, each broken off by a burst of random codes of the largest magnitudes.
template <class Rate>
std::vector<std::uint8_t> tonesAndBursts(Lcg& rng) {
  std::vector<std::int16_t> signal;
  for (int tone = 0; tone < 40; ++tone) {
    const double step = 0.05 + 0.02 * (rng.next() % 40);
    const double level = 500.0 + static_cast<double>(rng.next() % 20000);
    for (int i = 0; i < 1500; ++i) {
      signal.push_back(static_cast<std::int16_t>(level * std::sin(step * i)));
    }
  }
  std::vector<std::uint8_t> codes = encode<Rate>(signal);
  for (std::size_t at = 1400; at + 30 < codes.size(); at += 1500) {
    for (std::size_t i = at; i < at + 30; ++i) {
      codes[i] = static_cast<std::uint8_t>(((rng.next() & 1) ? Rate::kSignBit : 0) |
                                           (Rate::kSignBit - 1 - (rng.next() & 1)));
    }
  }
  return codes;
}

template <class Rate>
std::vector<std::vector<std::uint8_t>> streams() {
  Lcg rng{99};
  std::vector<std::uint8_t> random(200000);
  for (auto& c : random) c = static_cast<std::uint8_t>(rng.next());
  return {random, encode<Rate>(speechLikeSignal(200000, 4)), tonesAndBursts<Rate>(rng)};
}

template <class Rate>
void expectBlockDecoderMatchesReference() {
  int transitions = 0;
  int runs = 0;
  for (const std::vector<std::uint8_t>& codes : streams<Rate>()) {
    Lcg rng{7};
    DecoderState reference;
    DecoderState block;
    for (std::size_t at = 0; at < codes.size();) {
      const std::size_t n = std::min<std::size_t>(codes.size() - at, 1 + rng.next() % 3000);
      g726::Working<g726::LinearHistory> r(reference);
      g726::BlockDecoder<Rate> b(block);
      for (std::size_t i = at; i < at + n; ++i) {
        const bool toneBefore = r.td != 0;
        // High bits set: only the code's own bits count.
        const unsigned code = codes[i] | (rng.next() & ~Rate::kCodeMask & 0xFF);
        const std::int16_t expected = g726::decodeCode<Rate>(r, code);
        ASSERT_EQ(b.decode(code), expected) << "code " << i << " of a run from " << at;
        transitions += toneBefore && r.ap == 256 && r.a0 == 0 && r.a1 == 0;
      }
      r.store(reference);
      b.store(block);
      ASSERT_EQ(block, reference) << "after the run from " << at;
      at += n;
      ++runs;
    }
  }
  EXPECT_GT(runs, 300);
  EXPECT_GT(transitions, 2) << "the streams should reach the transition detector";
}

TEST(G726BlockDecoder, MatchesTheReferenceStepAt16k) {
  expectBlockDecoderMatchesReference<g726::Rate16k>();
}

TEST(G726BlockDecoder, MatchesTheReferenceStepAt24k) {
  expectBlockDecoderMatchesReference<g726::Rate24k>();
}

void expectInRange(const DecoderState& state) {
  EXPECT_GE(state.yl >> 6, 544) << state.yl;
  EXPECT_LE(state.yl >> 6, 5120) << state.yl;
  EXPECT_GE(state.yu, 544);
  EXPECT_LE(state.yu, 5120);
  EXPECT_GE(state.ap, 0);
}

// States that decoding never reaches (a corrupt or hand-made state) decode within the tables:
// the step size's parts are held to their range on loading and stay there.
template <class Rate>
void expectOutOfRangeStatesStayInRange() {
  struct Case {
    std::int32_t yl;
    std::int16_t yu, ap;
  };
  const Case cases[] = {
      {INT32_MIN, INT16_MIN, INT16_MIN},
      {INT32_MAX, INT16_MAX, INT16_MAX},
      {0, 0, -1},
      {-1, 6000, 255},
      {400000, 100, 0},
      {34815, 543, 256},
  };
  for (const Case& c : cases) {
    DecoderState state;
    state.yl = c.yl;
    state.yu = c.yu;
    state.ap = c.ap;
    Lcg rng{static_cast<std::uint32_t>(c.yl) ^ 5u};
    // After one code, and after many.
    g726::BlockDecoder<Rate> b(state);
    b.decode(rng.next());
    b.store(state);
    expectInRange(state);
    for (int i = 0; i < 2000; ++i) b.decode(rng.next());
    b.store(state);
    expectInRange(state);
  }
}

TEST(G726BlockDecoder, OutOfRangeStatesStayInRangeAt16k) {
  expectOutOfRangeStatesStayInRange<g726::Rate16k>();
}

TEST(G726BlockDecoder, OutOfRangeStatesStayInRangeAt24k) {
  expectOutOfRangeStatesStayInRange<g726::Rate24k>();
}

}  // namespace
}  // namespace parvolin::codec
