#include "sim/audio_encoders.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
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
  for (int s = -32768; s <= 32767; s += 7) {
    const int got = sim::expandLogCode(sim::LogEncoder::encodeSample(static_cast<std::int16_t>(s)));
    ASSERT_GE(got, -32768);
    ASSERT_LE(got, 32767);
    int best = 1 << 30;
    for (int v : fitting) best = std::min(best, std::abs(v - s));
    ASSERT_EQ(std::abs(got - s), best) << "sample " << s;
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
