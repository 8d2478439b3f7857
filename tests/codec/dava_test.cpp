#include "codec/dava.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/wav_header.h"

namespace parvolin::codec {
namespace {

// A block of 2048 samples that alternates +peak and -peak: positive peak `peak`, mean 0.
std::vector<std::int16_t> alternating(int peak, std::size_t count = kDavaBlockSamples) {
  std::vector<std::int16_t> v(count);
  for (std::size_t i = 0; i < count; ++i) v[i] = static_cast<std::int16_t>(i % 2 ? -peak : peak);
  return v;
}

struct BlockCase {
  const char* name;
  int level;
  int gainBefore;
  int peak;
  int expectedPeak;
  int expectedGain;
};

TEST(Dava, OneBlockByPeakLevelAndGain) {
  const BlockCase cases[] = {
      {"loud block resets", 1, 6, 9000, 9000, 1},
      {"4097-8192", 2, 1, 5000, 7500, 2},
      {"2049-4096 from 1", 1, 1, 3000, 6000, 3},
      {"2049-4096 from 3", 1, 3, 3000, 9000, 3},
      {"1537-2048 level 1 stays at 3", 1, 1, 2000, 5000, 3},
      {"1537-2048 level 2 moves to 4", 2, 1, 2000, 5000, 4},
      {"1025-1536 level 1", 1, 1, 1200, 3600, 5},
      {"1025-1536 level 2", 2, 1, 1200, 4200, 6},
      {"769-1024 level 1", 1, 2, 800, 3200, 6},
      {"769-1024 level 2", 2, 2, 800, 4000, 8},
      {"513-768 level 1 leaves it", 1, 5, 600, 600, 5},
      {"513-768 level 2", 2, 1, 600, 2700, 8},
      {"0-512 leaves it", 2, 4, 512, 512, 4},
      {"odd factor truncates", 1, 2, 3001, 7502, 3},
  };
  for (const BlockCase& c : cases) {
    auto x = alternating(c.peak);
    DavaGainState g{c.gainBefore};
    applyDava(x, c.level, g);
    EXPECT_EQ(x[0], c.expectedPeak) << c.name;
    EXPECT_EQ(x[1], -c.expectedPeak) << c.name << " (negative samples truncate toward zero)";
    EXPECT_EQ(g.level, c.expectedGain) << c.name;
  }
}

TEST(Dava, GainMovesFromBlockToBlockAndTheTailOnlyLosesTheOffset) {
  auto x = alternating(3000, 2 * kDavaBlockSamples);
  const auto tail = alternating(100, 904);
  x.insert(x.end(), tail.begin(), tail.end());
  ASSERT_EQ(x.size(), 5000u);
  DavaGainState g;
  applyDava(x, kDavaLevel1, g);
  EXPECT_EQ(x[0], 6000);     // (1 + 3) / 2
  EXPECT_EQ(x[2048], 9000);  // (3 + 3) / 2
  EXPECT_EQ(x[4096], 100);   // after the last whole block
  EXPECT_EQ(x[4999], -100);
  EXPECT_EQ(g.level, 3);
}

TEST(Dava, OffsetRemovalAndNegativeBlocks) {
  // All-negative block: P = 0, left alone apart from the offset.
  std::vector<std::int16_t> x(kDavaBlockSamples, -2000);
  DavaGainState g{4};
  applyDava(x, kDavaLevel2, g);
  EXPECT_EQ(x[0], -2000 + 1000);  // mean over 4096 with the missing half as 0: -1000
  EXPECT_EQ(g.level, 4);

  // Fewer than 4096 samples: the sum runs over what there is, still divided by 4096.
  std::vector<std::int16_t> shortRun(100, 4096);
  applyDava(shortRun, kDavaLevel1, g);
  EXPECT_EQ(shortRun, std::vector<std::int16_t>(100, 4096 - 100));

  std::vector<std::int16_t> empty;
  applyDava(empty, kDavaLevel1, g);
  EXPECT_EQ(g.level, 4);
}

TEST(Dava, ProductsKeepTheirLow16Bits) {
  // A sample of -5000 in a block of positive peak 700, level 2, g = 8: × 8 = -40000 -> 25536.
  std::vector<std::int16_t> x(kDavaBlockSamples, 0);
  x[0] = -5000;
  for (int i = 1; i <= 7; ++i) x[i] = 700;  // sum -100: the mean truncates to 0
  DavaGainState g{8};
  applyDava(x, kDavaLevel2, g);
  EXPECT_EQ(x[0], 25536);
  EXPECT_EQ(x[1], 5600);
  EXPECT_EQ(g.level, 8);
}

TEST(Dava, NoLevelLeavesSamplesAlone) {
  auto x = alternating(700);
  x[5] = 1234;
  const auto before = x;
  DavaGainState g{2};
  applyDava(x, kDavaNone, g);
  EXPECT_EQ(x, before);
  EXPECT_EQ(g.level, 2);
}

TEST(WavHeader, EncodesTheFixedLayout) {
  const auto empty = WavHeader::forDataBytes(0)->encode();
  const std::uint8_t expectedEmpty[44] = {'R', 'I', 'F',  'F',  36,  0,   0,    0,    'W', 'A', 'V',
                                          'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                          1,   0,   0x40, 0x1F, 0,   0,   0x40, 0x1F, 0,   0,   1,
                                          0,   8,   0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
  EXPECT_EQ(std::vector<std::uint8_t>(empty.begin(), empty.end()),
            std::vector<std::uint8_t>(std::begin(expectedEmpty), std::end(expectedEmpty)));

  const auto h = *WavHeader::forDataBytes(13600);
  const auto bytes = h.encode();
  EXPECT_EQ(bytes[4] | bytes[5] << 8, 13636);
  EXPECT_EQ(bytes[40] | bytes[41] << 8, 13600);
  EXPECT_EQ(WavHeader::decode(bytes), h);

  EXPECT_TRUE(WavHeader::forDataBytes(0xFFFFFFFFull - 36).has_value());
  EXPECT_FALSE(WavHeader::forDataBytes(0xFFFFFFFFull - 35).has_value());
}

TEST(WavHeader, ToUnsigned8) {
  const std::pair<std::int16_t, int> cases[] = {{-32768, 0}, {0, 128},   {32767, 255}, {-1, 127},
                                                {255, 128},  {256, 129}, {-256, 127}};
  for (auto [s, b] : cases) EXPECT_EQ(toUnsigned8(s), b) << s;
}

}  // namespace
}  // namespace parvolin::codec
