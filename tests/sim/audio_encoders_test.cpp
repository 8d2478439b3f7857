#include "sim/audio_encoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <span>
#include <vector>

#include "base/little_endian.h"
#include "sim/audio_source.h"
#include "support/test_files.h"

namespace parvolin::test {
namespace {

TEST(AudioEncodersTest, Pcm8TakesTheHighByteOffsetBy128) {
  const std::pair<std::int16_t, std::uint8_t> cases[] = {{0, 0x80},  {255, 0x80},    {256, 0x81},
                                                         {-1, 0x7F}, {-32768, 0x00}, {32767, 0xFF}};
  sim::Pcm8Encoder encoder;
  for (auto [sample, byte] : cases) {
    std::vector<std::int16_t> samples(512, sample);
    std::array<std::uint8_t, 512> block{};
    encoder.encodeBlock(samples, block);
    EXPECT_EQ(block[511], byte) << sample;
  }
}

TEST(AudioEncodersTest, LogCodeIsTheNearestCodeThatFitsASample) {
  EXPECT_EQ(sim::LogEncoder::encodeSample(0), 0x00);
  EXPECT_EQ(sim::LogEncoder::encodeSample(31744), 0x5F);
  EXPECT_EQ(sim::LogEncoder::encodeSample(-31744), 0xDF);
  EXPECT_EQ(sim::LogEncoder::encodeSample(32767), 0x5F) << "0x60 would wrap to -32768";
  EXPECT_EQ(sim::LogEncoder::encodeSample(-32768), 0xE0) << "its expansion fits exactly";
  EXPECT_EQ(sim::LogEncoder::encodeSample(64), 0x01);
  EXPECT_EQ(sim::LogEncoder::encodeSample(95), 0x01);
  EXPECT_EQ(sim::LogEncoder::encodeSample(97), 0x02);

  std::vector<int> fitting;
  for (int c = 0; c < 256; ++c) {
    const int v = sim::expandLogCode(static_cast<std::uint8_t>(c));
    if (v >= -32768 && v <= 32767) fitting.push_back(v);
  }
  // Every sample; half-way between two codes the larger one.
  for (int s = -32768; s <= 32767; ++s) {
    const int got = sim::expandLogCode(sim::LogEncoder::encodeSample(static_cast<std::int16_t>(s)));
    ASSERT_GE(got, -32768);
    ASSERT_LE(got, 32767);
    int best = 1 << 30;
    for (int v : fitting) best = std::min(best, std::abs(v - s));
    ASSERT_EQ(std::abs(got - s), best) << "sample " << s;
    if (got < s) {
      ASSERT_EQ(std::count(fitting.begin(), fitting.end(), s + best), 0) << "sample " << s;
    }
  }
}

TEST(AudioEncodersTest, FactoryGivesEachModeItsBlockSize) {
  const std::pair<int, std::size_t> cases[] = {{0, 512}, {1, 2048}, {2, 1360}, {3, 512}, {7, 512}};
  for (auto [mode, samples] : cases) {
    EXPECT_EQ(sim::makeEncoder(mode)->samplesPerBlock(), samples) << "mode " << mode;
  }
}

TEST(AudioEncodersTest, Mode2PatternFollowsTheGroupLayout) {
  sim::PatternEncoder encoder(3);
  std::vector<std::int16_t> samples(1360);
  std::array<std::uint8_t, 512> block{};
  encoder.encodeBlock(samples, block);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 0);
  for (std::size_t g = 0; g < 85; ++g) {
    const std::uint8_t* p = block.data() + 2 + g * 6;
    const std::uint64_t group = (std::uint64_t{base::loadLe16(p)} << 32) |
                                (std::uint64_t{base::loadLe16(p + 2)} << 16) |
                                base::loadLe16(p + 4);
    for (int k = 0; k < 16; ++k) {
      ASSERT_EQ((group >> (45 - 3 * k)) & 7, k % 2 == 0 ? 1u : 5u)
          << "group " << g << " code " << k;
    }
  }
}

TEST(AudioSourceTest, SpeechHasSyllablesAndPausesAndRepeatsForItsSeed) {
  sim::SpeechSynth a(5), b(5);
  std::vector<std::int16_t> x(8000 * 10), y(8000 * 10);
  a.fill(x);
  b.fill(y);
  EXPECT_EQ(x, y);
  int loud = 0, quiet = 0;
  for (std::size_t block = 0; block + 512 <= x.size(); block += 512) {
    int peak = 0;
    for (std::size_t i = block; i < block + 512; ++i) peak = std::max(peak, std::abs(int{x[i]}));
    loud += peak > 2000;
    quiet += peak < 100;
  }
  EXPECT_GT(loud, 20);
  EXPECT_GT(quiet, 5);
}

// The speech signal with a sine per sample in double precision: the same segments, random
// sequence and partials as the table-driven synthesizer.
std::vector<double> exactSpeech(std::uint32_t seed, std::size_t count) {
  std::uint32_t state = seed * 2654435761u + 0x9E3779B9u;
  auto uniform = [&](double lo, double hi) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return lo + (hi - lo) * (state / 4294967296.0);
  };
  const double turn = 2 * std::numbers::pi / 8000;
  const double f0 = uniform(95, 210);
  std::vector<double> out;
  int syllablesLeft = 0;
  bool voiced = false;
  double p0 = 0, p1 = 0, p2 = 0, p3 = 0;
  while (out.size() < count) {
    std::int64_t length = 0;
    double f1 = 0, f2 = 0, f3 = 0, level = 0;
    if (voiced || syllablesLeft == 0) {
      const bool phraseEnd = syllablesLeft == 0;
      voiced = false;
      length = std::int64_t((phraseEnd ? uniform(0.3, 0.9) : uniform(0.03, 0.12)) * 8000);
      if (phraseEnd) syllablesLeft = int(uniform(3, 12));
    } else {
      voiced = true;
      --syllablesLeft;
      length = std::int64_t(uniform(0.12, 0.32) * 8000);
      f1 = uniform(300, 850), f2 = uniform(900, 2300), f3 = uniform(2400, 3200);
      level = uniform(5000, 11000);
    }
    for (std::int64_t i = 0; i < length && out.size() < count; ++i) {
      if (!voiced) {
        out.push_back(0);
        continue;
      }
      out.push_back(level * std::sin(std::numbers::pi * double(i) / double(length)) *
                    (0.55 + 0.45 * std::sin(p0)) *
                    (0.6 * std::sin(p1) + 0.3 * std::sin(p2) + 0.1 * std::sin(p3)));
      p0 += turn * f0, p1 += turn * f1, p2 += turn * f2, p3 += turn * f3;
    }
  }
  return out;
}

TEST(AudioSourceTest, SpeechFromTheTableFollowsTheExactSignalInBlocksOfAnySize) {
  for (const std::uint32_t seed : {1u, 5u, 77u}) {
    constexpr std::size_t kCount = 8000 * 30;
    const std::vector<double> exact = exactSpeech(seed, kCount);
    // In one piece, and in pieces of odd sizes that end anywhere in a segment.
    std::vector<std::int16_t> whole(kCount), pieces(kCount);
    sim::SpeechSynth(seed).fill(whole);
    sim::SpeechSynth inPieces(seed);
    for (std::size_t at = 0, size = 1; at < kCount; at += size, size = size * 7 % 4099 + 1)
      inPieces.fill(std::span(pieces).subspan(at, std::min(size, kCount - at)));
    ASSERT_EQ(pieces, whole) << "seed " << seed;
    double worst = 0;
    for (std::size_t i = 0; i < kCount; ++i) {
      // Pauses are exact silence; voiced samples within the table's rounding (its step is
      // 1/4096 of a turn, some 0.15 % of full scale per sine).
      if (exact[i] == 0) {
        ASSERT_EQ(whole[i], 0) << "seed " << seed << " sample " << i;
      }
      worst = std::max(worst, std::abs(whole[i] - exact[i]));
    }
    EXPECT_LT(worst, 60.0) << "seed " << seed;
  }
}

TEST(AudioSourceTest, WavFilesAreMixedToMonoAt8000) {
  TempFolder folder;
  const auto path = folder / "stereo.wav";
  {
    // 16-bit stereo at 16000 per second: 8 frames, left 1000 * i, right -1000.
    std::vector<std::uint8_t> wav(44 + 8 * 4);
    std::copy_n("RIFF", 4, wav.begin());
    base::storeLe32(wav.data() + 4, static_cast<std::uint32_t>(wav.size() - 8));
    std::copy_n("WAVEfmt ", 8, wav.begin() + 8);
    base::storeLe32(wav.data() + 16, 16);
    base::storeLe16(wav.data() + 20, 1);
    base::storeLe16(wav.data() + 22, 2);
    base::storeLe32(wav.data() + 24, 16000);
    base::storeLe32(wav.data() + 28, 64000);
    base::storeLe16(wav.data() + 32, 4);
    base::storeLe16(wav.data() + 34, 16);
    std::copy_n("data", 4, wav.begin() + 36);
    base::storeLe32(wav.data() + 40, 32);
    for (int i = 0; i < 8; ++i) {
      base::storeLe16(wav.data() + 44 + i * 4, static_cast<std::uint16_t>(1000 * i));
      base::storeLe16(wav.data() + 46 + i * 4, static_cast<std::uint16_t>(-1000));
    }
    writeBytes(path, wav);
  }
  std::string error;
  const auto samples = sim::loadWavSamples(path, error);
  ASSERT_TRUE(samples) << error;
  EXPECT_EQ(*samples, (std::vector<std::int16_t>{-500, 500, 1500, 2500}));
}

}  // namespace
}  // namespace parvolin::test
