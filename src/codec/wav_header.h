#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/lv_format.h"

namespace parvolin::codec {

constexpr std::size_t kWavHeaderSize = 44;

// The 44-byte head of an 8-bit PCM WAV file: mono, 8000 samples per second, one byte per sample.
// The data bytes follow it directly; nothing follows the data.
struct WavHeader {
  std::array<char, 4> riff{'R', 'I', 'F', 'F'};
  std::uint32_t riffSize = 36;  // data bytes + 36
  std::array<char, 4> wave{'W', 'A', 'V', 'E'};
  std::array<char, 4> fmt{'f', 'm', 't', ' '};
  std::uint32_t fmtSize = 16;
  std::uint16_t formatTag = 1;  // PCM
  std::uint16_t channels = 1;
  std::uint32_t samplesPerSecond = kSamplesPerSecond;
  std::uint32_t bytesPerSecond = kSamplesPerSecond;
  std::uint16_t blockAlign = 1;
  std::uint16_t bitsPerSample = 8;
  std::array<char, 4> data{'d', 'a', 't', 'a'};
  std::uint32_t dataSize = 0;

  // The header for `dataBytes` samples; nullopt when the sizes do not fit the format's 32 bits.
  static std::optional<WavHeader> forDataBytes(std::uint64_t dataBytes);
  std::array<std::uint8_t, kWavHeaderSize> encode() const;
  // Reads any 44 bytes; the caller checks the fields it relies on.
  static WavHeader decode(std::span<const std::uint8_t, kWavHeaderSize> bytes);

  bool operator==(const WavHeader&) const = default;
};
static_assert(sizeof(WavHeader) == kWavHeaderSize);

// A 16-bit sample as 8-bit unsigned PCM: (s >> 8) + 128.
constexpr std::uint8_t toUnsigned8(std::int16_t s) {
  return static_cast<std::uint8_t>((s >> 8) + 128);
}

}  // namespace parvolin::codec
