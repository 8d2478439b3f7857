#pragma once

#include <cstdint>
#include <memory>

#include "codec/audio_encoder.h"

namespace parvolin::sim {

// Audio mode 0: one 8-bit unsigned sample per byte, (s >> 8) + 128.
class Pcm8Encoder final : public codec::AudioEncoder {
 public:
  std::size_t samplesPerBlock() const override { return codec::kAudioBlockSize; }
  void encodeBlock(std::span<const std::int16_t> samples,
                   std::span<std::uint8_t, codec::kAudioBlockSize> block) override;
  void reset() override {}
};

// Audio mode 3: one 8-bit logarithmic code (sign, segment, mantissa) per byte, the code whose
// expansion is nearest to the sample. Codes of segments 6 and 7 expand beyond 16 bits and wrap
// when the player stores them as samples; the encoder never uses a code whose expansion does
// not fit a 16-bit sample.
class LogEncoder final : public codec::AudioEncoder {
 public:
  std::size_t samplesPerBlock() const override { return codec::kAudioBlockSize; }
  void encodeBlock(std::span<const std::int16_t> samples,
                   std::span<std::uint8_t, codec::kAudioBlockSize> block) override;
  void reset() override {}

  static std::uint8_t encodeSample(std::int16_t sample);
};

// The expansion of one 8-bit logarithmic code, as the player computes it (without wrapping).
int expandLogCode(std::uint8_t code);

// Modes 1 and 2 while no G.726 encoder is built in: blocks of one fixed code pattern (small
// alternating codes, a quiet rasp when decoded), so that the stream keeps its real data rate.
class PatternEncoder final : public codec::AudioEncoder {
 public:
  explicit PatternEncoder(int bitsPerCode);
  std::size_t samplesPerBlock() const override { return samplesPerBlock_; }
  void encodeBlock(std::span<const std::int16_t> samples,
                   std::span<std::uint8_t, codec::kAudioBlockSize> block) override;
  void reset() override {}

 private:
  std::size_t samplesPerBlock_;
  std::uint8_t pattern_[codec::kAudioBlockSize];
};

// The encoder of one audio mode: 0 and 3 here, 1 and 2 through the codec's G.726 encoder (or the
// fixed pattern while there is none). Other mode values encode as mode 0, as the player decodes
// them.
std::unique_ptr<codec::AudioEncoder> makeEncoder(int mode);

}  // namespace parvolin::sim
