#include "codec/lv_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/g726_core.h"

namespace parvolin::codec {
namespace {

DecoderState freshState() {
  DecoderState s;
  DavaGainState g;
  g.level = 7;
  resetDecoder(s, g);
  EXPECT_EQ(g.level, 1);
  return s;
}

std::vector<std::int16_t> decodeAll(const std::vector<std::uint8_t>& file, int mode) {
  DecoderState s = freshState();
  std::vector<std::int16_t> out(sampleCountFor(file.size(), mode), 0x5555);
  EXPECT_EQ(decodeLv(file, mode, s, out), out.size());
  return out;
}

TEST(G726Decoder, ResetGivesTheListedValues) {
  DecoderState s;
  s.yl = 1;
  s.b[3] = 9;
  s.dq[5] = -3;
  s.td = 1;
  DavaGainState g{5};
  resetDecoder(s, g);
  EXPECT_EQ(s.yl, 34816);
  EXPECT_EQ(s.yu, 544);
  EXPECT_EQ(s, DecoderState{});
  EXPECT_EQ(s.b[3], 0);
  EXPECT_EQ(s.dq[5], 0);
  EXPECT_EQ(s.td, 0);
}

TEST(G726Decoder, FirstCodeAfterResetAtBothRates) {
  const int expected16k[] = {12, 60, -60, -12};
  for (unsigned code = 0; code < 4; ++code) {
    DecoderState s = freshState();
    EXPECT_EQ(decodeCode16k(s, code), expected16k[code]) << "code " << code;
    DecoderState t = freshState();
    EXPECT_EQ(decodeCode16k(t, code | 0xFC), expected16k[code]) << "high bits are ignored";
  }
  const int expected24k[] = {0, 16, 36, 60, -60, -36, -16, 0};
  for (unsigned code = 0; code < 8; ++code) {
    DecoderState s = freshState();
    EXPECT_EQ(decodeCode24k(s, code), expected24k[code]) << "code " << code;
  }
}

TEST(G726Decoder, TwoBitSequenceAdaptsTheStep) {
  DecoderState s = freshState();
  const unsigned codes[] = {1, 1, 1, 1, 0, 0, 0, 0};
  const int expected[] = {60, 64, 72, 84, 36, 32, 32, 32};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(decodeCode16k(s, codes[i]), expected[i]) << "sample " << i;
}

TEST(G726Decoder, RunOfInnerCodesHoldsYuAtItsFloor) {
  DecoderState s = freshState();
  for (int i = 0; i < 1000; ++i) {
    decodeCode16k(s, 0);
    ASSERT_EQ(s.yu, 544) << "after " << i + 1 << " codes";
  }
  EXPECT_EQ(s.yl >> 6, 544);
}

TEST(G726Decoder, NegativeZeroIsStoredAsZeroAndCountsPositive) {
  // Code 7 at 24 kbit/s is a negative difference of magnitude 0.
  DecoderState s = freshState();
  decodeCode24k(s, 3);  // a positive difference first
  ASSERT_GT(s.dq[0], 0);
  decodeCode24k(s, 7);
  EXPECT_EQ(s.dq[0], 0);
  ASSERT_GT(s.dq[1], 0);
  // A positive difference now agrees in sign with the zero in dq[0]: b[0] grows by 128 after
  // the leak (a negative zero stored in the standard's form would count as disagreeing).
  const int b0 = s.b[0];
  const int b1 = s.b[1];
  decodeCode24k(s, 2);
  EXPECT_EQ(s.b[0], b0 - (b0 >> 8) + 128);
  EXPECT_EQ(s.b[1], b1 - (b1 >> 8) + 128);
  // A negative one disagrees with both.
  const int c0 = s.b[0];
  decodeCode24k(s, 5);
  EXPECT_EQ(s.b[0], c0 - (c0 >> 8) - 128);
}

TEST(G726Decoder, ZeroMagnitudeOnlyLeaksB) {
  DecoderState s = freshState();
  for (int i = 0; i < 5; ++i) decodeCode24k(s, 3);
  const auto before = s.b;
  decodeCode24k(s, 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.b[i], before[i] - (before[i] >> 8)) << i;
}

TEST(G726Decoder, StateStaysWithinTheStandardsLimitsOnAnyCodes) {
  std::uint32_t seed = 12345;
  for (int rate = 0; rate < 2; ++rate) {
    DecoderState s = freshState();
    for (int i = 0; i < 200000; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const unsigned code = seed >> 24;
      if (rate == 0) {
        decodeCode16k(s, code);
      } else {
        decodeCode24k(s, code);
      }
      ASSERT_GE(s.yu, 544);
      ASSERT_LE(s.yu, 5120);
      ASSERT_LE(s.yl >> 6, 5120);
      ASSERT_GE(s.yl >> 6, 544);
      ASSERT_LE(std::abs(s.a[1]), 12288);
      ASSERT_LE(std::abs(s.a[0]), 15360 - s.a[1]);
      ASSERT_LT(std::abs(s.dq[0]), 8192);
      ASSERT_LT(s.ap, 512);
    }
  }
}

TEST(LogExpansion, ListedBytes) {
  struct Case {
    std::uint8_t byte;
    int value;
    std::int16_t stored;
  };
  const Case cases[] = {
      {0x00, 0, 0},         {0x80, 0, 0},
      {0x5F, 31744, 31744}, {0xDF, -31744, -31744},
      {0x6F, 63488, -2048}, {0x7F, 126976, -4096},
      {0x01, 64, 64},       {0x10, 1024, 1024},
      {0x20, 2048, 2048},   {0x95, -64 * 21, -64 * 21},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expandLogByte(c.byte), c.value) << int(c.byte);
    EXPECT_EQ(decodeAll({c.byte}, kModeLog8), std::vector<std::int16_t>{c.stored}) << int(c.byte);
  }
}

TEST(LinearMode, ListedBytesAndUnknownModes) {
  const std::vector<std::uint8_t> bytes{0x80, 0x00, 0xFF};
  const std::vector<std::int16_t> expected{0, -32768, 32512};
  EXPECT_EQ(decodeAll(bytes, kModeLinear8), expected);
  EXPECT_EQ(decodeAll(bytes, 7), expected);
  EXPECT_EQ(decodeAll(bytes, -1), expected);
}

TEST(SampleCount, PerBlockAndPerFile) {
  struct Case {
    std::uint64_t length;
    int mode;
    std::uint64_t n;
  };
  const Case cases[] = {
      {512, 0, 512},   {512, 3, 512},    {512, 1, 2048}, {512, 2, 1360},
      {1024, 2, 2720}, {5120, 2, 13600}, {0, 2, 0},      {1, 2, 2},
      {100, 2, 265},   {513, 2, 1362},   {3, 1, 12},     {1 << 30, 2, 2852126720ull},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sampleCountFor(c.length, c.mode), c.n) << c.length << " bytes, mode " << c.mode;
    EXPECT_EQ(sampleCountFor(c.length, c.mode),
              static_cast<std::uint64_t>(double(c.length) * (c.mode == 2   ? 2.65625
                                                             : c.mode == 1 ? 4.0
                                                                           : 1.0)));
  }
  for (int mode = 0; mode < 4; ++mode) {
    EXPECT_EQ(samplesPerBlock(mode), sampleCountFor(kAudioBlockSize, mode));
  }
}

// Codes of a known stream, decoded one by one, against the block layouts.
std::vector<std::int16_t> decodeCodes(const std::vector<unsigned>& codes, bool threeBit) {
  DecoderState s = freshState();
  std::vector<std::int16_t> out;
  for (unsigned c : codes) out.push_back(threeBit ? decodeCode24k(s, c) : decodeCode16k(s, c));
  return out;
}

std::vector<unsigned> pseudoCodes(std::size_t count, unsigned mask, std::uint32_t seed) {
  std::vector<unsigned> codes;
  for (std::size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    codes.push_back((seed >> 16) & mask);
  }
  return codes;
}

TEST(Mode1Layout, WordsHoldEightCodesMostSignificantFirst) {
  // Word 0x1B4E little-endian (bytes 4E 1B): codes 0,1,2,3,1,0,3,2 from the top.
  const std::vector<std::uint8_t> file{0x4E, 0x1B};
  EXPECT_EQ(decodeAll(file, kModeAdpcm16k), decodeCodes({0, 1, 2, 3, 1, 0, 3, 2}, false));

  const auto codes = pseudoCodes(2 * 2048, 3, 7);
  std::vector<std::uint8_t> blocks(1024);
  for (std::size_t w = 0; w < 512; ++w) {
    unsigned word = 0;
    for (int k = 0; k < 8; ++k) word = (word << 2) | codes[8 * w + k];
    blocks[2 * w] = word & 0xFF;
    blocks[2 * w + 1] = word >> 8;
  }
  EXPECT_EQ(decodeAll(blocks, kModeAdpcm16k), decodeCodes(codes, false));
}

// Packs 3-bit codes in mode-2 blocks, with `skipped` as the two leading bytes of each block.
std::vector<std::uint8_t> packMode2(const std::vector<unsigned>& codes, std::uint8_t skipped) {
  std::vector<std::uint8_t> file;
  for (std::size_t g = 0; g < codes.size() / 16; ++g) {
    if (g % 85 == 0) file.insert(file.end(), {skipped, skipped});
    std::uint64_t group = 0;
    for (int k = 0; k < 16; ++k) group = (group << 3) | codes[16 * g + k];
    for (int w = 2; w >= 0; --w) {
      const unsigned word = (group >> (16 * w)) & 0xFFFF;
      file.push_back(word & 0xFF);
      file.push_back(word >> 8);
    }
  }
  return file;
}

TEST(Mode2Layout, GroupsStraddleWordsAndBlocksSkipTwoBytes) {
  // Codes 5 and 10 of a group take bits from two words: code 5 is bit 0 of a and bits 15-14 of
  // b; code 10 is bits 1-0 of b and bit 15 of c.
  std::vector<unsigned> codes(16, 0);
  codes[5] = 5;   // 101: a bit 0 = 1, b bits 15..14 = 01
  codes[10] = 3;  // 011: b bits 1..0 = 01, c bit 15 = 1
  const auto file = packMode2(codes, 0xEE);
  ASSERT_EQ(file.size(), 8u);
  EXPECT_EQ(file[2], 0x01);  // a = 0x0001
  EXPECT_EQ(file[3], 0x00);
  EXPECT_EQ(file[4], 0x01);  // b = 0x4001
  EXPECT_EQ(file[5], 0x40);
  EXPECT_EQ(file[6], 0x00);  // c = 0x8000
  EXPECT_EQ(file[7], 0x80);
  std::vector<std::uint8_t> block(file);
  block.resize(512, 0);
  const auto samples = decodeAll(block, kModeAdpcm24k);
  auto padded = codes;
  padded.resize(1360, 0);
  EXPECT_EQ(samples, decodeCodes(padded, true));

  // Ten whole blocks: the skipped bytes never reach the decoder, whatever they hold.
  const auto many = pseudoCodes(13600, 7, 99);
  const auto tenBlocks = packMode2(many, 0xA5);
  ASSERT_EQ(tenBlocks.size(), 5120u);
  EXPECT_EQ(decodeAll(tenBlocks, kModeAdpcm24k), decodeCodes(many, true));
  EXPECT_EQ(decodeAll(packMode2(many, 0x00), kModeAdpcm24k), decodeCodes(many, true));
}

TEST(PartBlocks, BytesBeyondTheFileReadAsZero) {
  const auto many = pseudoCodes(1360 * 2, 7, 5);
  const auto whole = packMode2(many, 0x11);
  // One and a bit blocks: the part-block skips its two bytes too, then its codes, then zeros.
  std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + 512 + 100);
  const auto samples = decodeAll(cut, kModeAdpcm24k);
  ASSERT_EQ(samples.size(), 1360u + 265u);
  std::vector<std::uint8_t> padded(cut);
  padded.resize(1024, 0);
  const auto full = decodeAll(padded, kModeAdpcm24k);
  EXPECT_EQ(samples, std::vector<std::int16_t>(full.begin(), full.begin() + 1625));

  // Mode 1 with an odd length: the half word's four samples are 0.
  std::vector<std::uint8_t> odd{0x4E, 0x1B, 0xFF};
  auto oddSamples = decodeAll(odd, kModeAdpcm16k);
  ASSERT_EQ(oddSamples.size(), 12u);
  EXPECT_EQ(std::vector<std::int16_t>(oddSamples.begin() + 8, oddSamples.end()),
            std::vector<std::int16_t>(4, 0));
  EXPECT_EQ(std::vector<std::int16_t>(oddSamples.begin(), oddSamples.begin() + 8),
            decodeAll({0x4E, 0x1B}, kModeAdpcm16k));
}

TEST(DecodeInPlace, MatchesSeparateBuffersInEveryMode) {
  const auto bytes = pseudoCodes(3 * 512 + 77, 0xFF, 3);
  for (int mode = 0; mode < 4; ++mode) {
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{511}, bytes.size()}) {
      const std::vector<std::uint8_t> file(bytes.begin(), bytes.begin() + length);
      const auto expected = decodeAll(file, mode);
      std::vector<std::int16_t> buffer(decodeBufferElementsFor(length, mode));
      if (length > 0) std::memcpy(buffer.data(), file.data(), length);
      DecoderState s = freshState();
      const auto n = decodeLvBuffer(buffer, length, mode, s);
      ASSERT_TRUE(n.has_value());
      ASSERT_EQ(*n, expected.size());
      EXPECT_EQ(std::vector<std::int16_t>(buffer.begin(), buffer.begin() + *n), expected)
          << "mode " << mode << ", " << length << " bytes";

      std::vector<std::int16_t> small(buffer.size() - 1, 0x1234);
      EXPECT_FALSE(decodeLvBuffer(small, length, mode, s).has_value());
      EXPECT_EQ(small.front(), 0x1234);
    }
  }
}

}  // namespace
}  // namespace parvolin::codec
