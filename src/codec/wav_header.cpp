#include "codec/wav_header.h"

#include <cstring>
#include <limits>

#include "base/little_endian.h"

namespace parvolin::codec {

namespace {

constexpr std::uint64_t kMaxDataBytes = std::numeric_limits<std::uint32_t>::max() - 36;

}  // namespace

std::optional<WavHeader> WavHeader::forDataBytes(std::uint64_t dataBytes) {
  if (dataBytes > kMaxDataBytes) return std::nullopt;
  WavHeader h;
  h.riffSize = static_cast<std::uint32_t>(dataBytes + 36);
  h.dataSize = static_cast<std::uint32_t>(dataBytes);
  return h;
}

std::array<std::uint8_t, kWavHeaderSize> WavHeader::encode() const {
  std::array<std::uint8_t, kWavHeaderSize> b{};
  std::memcpy(&b[0], riff.data(), 4);
  base::storeLe32(&b[4], riffSize);
  std::memcpy(&b[8], wave.data(), 4);
  std::memcpy(&b[12], fmt.data(), 4);
  base::storeLe32(&b[16], fmtSize);
  base::storeLe16(&b[20], formatTag);
  base::storeLe16(&b[22], channels);
  base::storeLe32(&b[24], samplesPerSecond);
  base::storeLe32(&b[28], bytesPerSecond);
  base::storeLe16(&b[32], blockAlign);
  base::storeLe16(&b[34], bitsPerSample);
  std::memcpy(&b[36], data.data(), 4);
  base::storeLe32(&b[40], dataSize);
  return b;
}

WavHeader WavHeader::decode(std::span<const std::uint8_t, kWavHeaderSize> b) {
  WavHeader h;
  std::memcpy(h.riff.data(), &b[0], 4);
  h.riffSize = base::loadLe32(&b[4]);
  std::memcpy(h.wave.data(), &b[8], 4);
  std::memcpy(h.fmt.data(), &b[12], 4);
  h.fmtSize = base::loadLe32(&b[16]);
  h.formatTag = base::loadLe16(&b[20]);
  h.channels = base::loadLe16(&b[22]);
  h.samplesPerSecond = base::loadLe32(&b[24]);
  h.bytesPerSecond = base::loadLe32(&b[28]);
  h.blockAlign = base::loadLe16(&b[32]);
  h.bitsPerSample = base::loadLe16(&b[34]);
  std::memcpy(h.data.data(), &b[36], 4);
  h.dataSize = base::loadLe32(&b[40]);
  return h;
}

}  // namespace parvolin::codec
