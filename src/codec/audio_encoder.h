#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/lv_format.h"

namespace parvolin::codec {

// Encodes line audio (16-bit linear samples, 8000 per second) into the 512-byte audio blocks of
// one audio mode, as a recorder unit does (the emulated units encode with it). One encoder per
// port: it keeps the adaptation state of its stream from block to block.
class AudioEncoder {
 public:
  virtual ~AudioEncoder() = default;
  // Samples that one 512-byte block carries in this mode (512, 2048 or 1360).
  virtual std::size_t samplesPerBlock() const = 0;
  // Encodes exactly samplesPerBlock() samples into one block.
  virtual void encodeBlock(std::span<const std::int16_t> samples,
                           std::span<std::uint8_t, kAudioBlockSize> block) = 0;
  virtual void reset() = 0;
};

}  // namespace parvolin::codec
