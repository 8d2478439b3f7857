#include "sim/audio_encoders.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "codec/g726_encoder.h"

namespace parvolin::sim {
namespace {

// The expansions of the codes are multiples of 64, so the points half-way between two of them
// are multiples of 32, and at such a point the larger expansion is the nearer one taken: the code
// changes only where a sample is a multiple of 32. The table holds the nearest code of every run
// of 32 samples (2 KB, where one entry per sample took 64 KB and missed the fast cache).
constexpr int kLogRunBits = 5;

const std::array<std::uint8_t, (65536 >> kLogRunBits)>& logCodeTable() {
  static const std::array<std::uint8_t, (65536 >> kLogRunBits)> table = [] {
    // The codes whose expansion fits a 16-bit sample, sorted by their value.
    std::vector<std::pair<int, std::uint8_t>> codes;
    for (int c = 0; c < 256; ++c) {
      const int v = expandLogCode(static_cast<std::uint8_t>(c));
      // Of the two codes of zero keep the positive one (0x00).
      if (v >= -32768 && v <= 32767 && c != 0x80)
        codes.emplace_back(v, static_cast<std::uint8_t>(c));
    }
    std::sort(codes.begin(), codes.end());
    std::array<std::uint8_t, (65536 >> kLogRunBits)> t{};
    std::size_t k = 0;
    for (int s = -32768; s <= 32767; s += 1 << kLogRunBits) {
      while (k + 1 < codes.size() &&
             std::abs(codes[k + 1].first - s) <= std::abs(codes[k].first - s)) {
        ++k;
      }
      t[static_cast<std::size_t>(s + 32768) >> kLogRunBits] = codes[k].second;
    }
    return t;
  }();
  return table;
}

inline std::size_t logRun(std::int16_t sample) {
  return static_cast<std::size_t>(sample + 32768) >> kLogRunBits;
}

}  // namespace

void Pcm8Encoder::encodeBlock(std::span<const std::int16_t> samples,
                              std::span<std::uint8_t, codec::kAudioBlockSize> block) {
  for (std::size_t i = 0; i < codec::kAudioBlockSize; ++i) {
    block[i] = static_cast<std::uint8_t>((samples[i] >> 8) + 128);
  }
}

int expandLogCode(std::uint8_t code) {
  const int segment = (code >> 4) & 7;
  const int mantissa = code & 15;
  int magnitude = mantissa;
  if (segment == 1) magnitude = mantissa + 16;
  if (segment >= 2) magnitude = (mantissa + 16) << (segment - 1);
  const int value = magnitude * 64;
  return (code & 0x80) ? -value : value;
}

std::uint8_t LogEncoder::encodeSample(std::int16_t sample) {
  return logCodeTable()[logRun(sample)];
}

void LogEncoder::encodeBlock(std::span<const std::int16_t> samples,
                             std::span<std::uint8_t, codec::kAudioBlockSize> block) {
  const auto& table = logCodeTable();
  for (std::size_t i = 0; i < codec::kAudioBlockSize; ++i) {
    block[i] = table[logRun(samples[i])];
  }
}

PatternEncoder::PatternEncoder(int bitsPerCode)
    : samplesPerBlock_(
          codec::samplesPerBlock(bitsPerCode == 2 ? codec::kModeAdpcm16k : codec::kModeAdpcm24k)) {
  if (bitsPerCode == 2) {
    // Words of eight 2-bit codes alternating 0 and 2, little-endian: 0x2222.
    std::fill(std::begin(pattern_), std::end(pattern_), std::uint8_t{0x22});
    return;
  }
  // Two bytes that carry no audio, then 85 groups of three little-endian words holding sixteen
  // 3-bit codes alternating 1 and 5, most significant first.
  std::uint64_t group = 0;
  for (int k = 0; k < 16; ++k) group = (group << 3) | (k % 2 == 0 ? 1u : 5u);
  pattern_[0] = pattern_[1] = 0;
  for (std::size_t g = 0; g < 85; ++g) {
    for (std::size_t w = 0; w < 3; ++w) {
      const auto word = static_cast<std::uint16_t>(group >> (32 - 16 * w));
      pattern_[2 + g * 6 + w * 2] = static_cast<std::uint8_t>(word);
      pattern_[2 + g * 6 + w * 2 + 1] = static_cast<std::uint8_t>(word >> 8);
    }
  }
}

void PatternEncoder::encodeBlock(std::span<const std::int16_t>,
                                 std::span<std::uint8_t, codec::kAudioBlockSize> block) {
  std::copy(std::begin(pattern_), std::end(pattern_), block.begin());
}

std::unique_ptr<codec::AudioEncoder> makeEncoder(int mode) {
  switch (mode) {
    case 1:
    case 2: {
      const int bits = mode == 1 ? 2 : 3;
      if (auto encoder = codec::makeG726Encoder(bits)) return encoder;
      return std::make_unique<PatternEncoder>(bits);
    }
    case 3:
      return std::make_unique<LogEncoder>();
    default:
      return std::make_unique<Pcm8Encoder>();
  }
}

}  // namespace parvolin::sim
