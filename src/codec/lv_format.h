#pragma once

#include <cstddef>
#include <cstdint>

#include "base/audio_block.h"

// The layout of the LV recordings: the 512-byte audio blocks of one call, end to end, in one of
// the four audio modes. No header, no trailer.
namespace parvolin::codec {

using base::kAudioBlockSize;
using base::kSamplesPerSecond;

// Audio modes, the digit of the ".LV0"-".LV3" extensions. Any other value decodes as mode 0.
constexpr int kModeLinear8 = 0;   // 8-bit unsigned PCM; 128 is silence
constexpr int kModeAdpcm16k = 1;  // 2-bit codes, 256 little-endian words of 8 codes per block
constexpr int kModeAdpcm24k = 2;  // 3-bit codes: 2 skipped bytes, then 85 groups of 16 codes
constexpr int kModeLog8 = 3;      // 8-bit logarithmic codes (sign, segment, mantissa)

constexpr std::size_t kMode1WordsPerBlock = 256;
constexpr std::size_t kMode1CodesPerWord = 8;
constexpr std::size_t kMode2SkippedBytes = 2;
constexpr std::size_t kMode2GroupBytes = 6;
constexpr std::size_t kMode2CodesPerGroup = 16;
constexpr std::size_t kMode2GroupsPerBlock = 85;

// Samples one audio block gives in `mode`: 512, 2048 or 1360.
constexpr std::size_t samplesPerBlock(int mode) {
  return mode == kModeAdpcm16k   ? kMode1WordsPerBlock * kMode1CodesPerWord
         : mode == kModeAdpcm24k ? kMode2GroupsPerBlock * kMode2CodesPerGroup
                                 : kAudioBlockSize;
}

// N, the samples of a recording of `fileLength` bytes: L in modes 0 and 3, 4 L in mode 1 and
// L × 2.65625 truncated in mode 2 (computed exactly; 2.65625 = 85/32).
constexpr std::uint64_t sampleCountFor(std::uint64_t fileLength, int mode) {
  if (mode == kModeAdpcm16k) return fileLength * 4;
  if (mode == kModeAdpcm24k) return (fileLength / 32) * 85 + (fileLength % 32) * 85 / 32;
  return fileLength;
}

}  // namespace parvolin::codec
