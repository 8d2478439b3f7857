#include "codec/g726_encoder.h"

#include <algorithm>

#include "base/little_endian.h"
#include "codec/g726_core.h"
#include "codec/lv_format.h"

namespace parvolin::codec {

namespace {

// The unit's adaptive quantizer: it predicts with the decoder's state, picks the code with the
// standard's decision levels and then runs exactly the decoder's reconstruction and update.
using Working = g726::Working<g726::LinearHistory>;

template <class Rate>
unsigned encodeSample(Working& state, std::int16_t sample) {
  const g726::Prediction p = g726::predict(state);
  const unsigned code = g726::quantize<Rate>((sample >> 2) - p.se, p.y);
  g726::reconstructAndUpdate<Rate>(state, p, code);
  return code;
}

class Encoder16k final : public AudioEncoder {
 public:
  std::size_t samplesPerBlock() const override { return codec::samplesPerBlock(kModeAdpcm16k); }

  void encodeBlock(std::span<const std::int16_t> samples,
                   std::span<std::uint8_t, kAudioBlockSize> block) override {
    std::fill(block.begin(), block.end(), std::uint8_t{0});
    const std::size_t count = std::min(samples.size(), samplesPerBlock());
    Working working(state_);
    for (std::size_t w = 0; w * kMode1CodesPerWord < count; ++w) {
      unsigned word = 0;
      for (std::size_t k = 0; k < kMode1CodesPerWord; ++k) {
        const std::size_t i = w * kMode1CodesPerWord + k;
        const unsigned code = i < count ? encodeSample<g726::Rate16k>(working, samples[i]) : 0;
        word = (word << 2) | code;
      }
      base::storeLe16(&block[2 * w], static_cast<std::uint16_t>(word));
    }
    working.store(state_);
  }

  void reset() override { state_ = DecoderState{}; }

 private:
  DecoderState state_;
};

// The two leading bytes of a block are not audio; the encoder leaves them 0.
class Encoder24k final : public AudioEncoder {
 public:
  std::size_t samplesPerBlock() const override { return codec::samplesPerBlock(kModeAdpcm24k); }

  void encodeBlock(std::span<const std::int16_t> samples,
                   std::span<std::uint8_t, kAudioBlockSize> block) override {
    std::fill(block.begin(), block.end(), std::uint8_t{0});
    const std::size_t count = std::min(samples.size(), samplesPerBlock());
    Working working(state_);
    for (std::size_t g = 0; g * kMode2CodesPerGroup < count; ++g) {
      std::uint64_t group = 0;
      for (std::size_t k = 0; k < kMode2CodesPerGroup; ++k) {
        const std::size_t i = g * kMode2CodesPerGroup + k;
        const unsigned code = i < count ? encodeSample<g726::Rate24k>(working, samples[i]) : 0;
        group = (group << 3) | code;
      }
      std::uint8_t* p = &block[kMode2SkippedBytes + kMode2GroupBytes * g];
      base::storeLe16(p, static_cast<std::uint16_t>(group >> 32));
      base::storeLe16(p + 2, static_cast<std::uint16_t>(group >> 16));
      base::storeLe16(p + 4, static_cast<std::uint16_t>(group));
    }
    working.store(state_);
  }

  void reset() override { state_ = DecoderState{}; }

 private:
  DecoderState state_;
};

}  // namespace

std::unique_ptr<AudioEncoder> makeG726Encoder(int bitsPerCode) {
  if (bitsPerCode == 2) return std::make_unique<Encoder16k>();
  if (bitsPerCode == 3) return std::make_unique<Encoder24k>();
  return nullptr;
}

}  // namespace parvolin::codec
