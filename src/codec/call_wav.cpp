#include "codec/call_wav.h"

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "base/file_io.h"
#include "codec/lv_decoder.h"
#include "codec/raw_file.h"
#include "codec/wav_header.h"

namespace parvolin::codec {

namespace {

constexpr std::size_t kDavaMinimumBytes = 4096;  // Dava only for longer recordings

}  // namespace

bool convertCallToWav(const std::filesystem::path& recording, int davaLevel, DavaGainState& gain,
                      base::Prompt& prompt, std::size_t memoryLimitBytes) {
  std::error_code ec;
  const auto length = regularFileLength(recording, ec);
  if (!length) return false;
  const auto header = WavHeader::forDataBytes(*length);
  if (!header) return false;
  const std::size_t n = static_cast<std::size_t>(*length);

  // One buffer of 2n bytes holds the codes, then the 16-bit samples, then the 8-bit output.
  std::unique_ptr<std::int16_t[]> buffer;
  if (n <= memoryLimitBytes / 2) buffer.reset(new (std::nothrow) std::int16_t[n]);
  if (!buffer) {
    prompt.message(kCallWavNoMemoryText, base::PromptIcon::None);
    return false;
  }
  auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.get());
  if (!readFileStart(recording, bytes, n, ec)) return false;

  // From the last byte backwards: sample i (bytes 2i, 2i + 1) never covers a byte below i.
  for (std::size_t i = n; i-- > 0;) {
    buffer[i] = static_cast<std::int16_t>(expandLogByte(bytes[i]));
  }
  const std::span<std::int16_t> samples(buffer.get(), n);
  if (n > kDavaMinimumBytes && davaLevel != kDavaNone) applyDava(samples, davaLevel, gain);
  // Forward: byte i is written after sample i, whose bytes start at 2i >= i, has been read.
  for (std::size_t i = 0; i < n; ++i) bytes[i] = toUnsigned8(buffer[i]);

  const auto head = header->encode();
  return !base::replaceFileContents(recording, {head, std::span<const std::uint8_t>(bytes, n)});
}

void passCallThroughDava(std::span<const std::uint8_t> codes, int davaLevel, DavaGainState& gain) {
  if (codes.size() <= kDavaMinimumBytes || davaLevel == kDavaNone) return;
  std::vector<std::int16_t> samples(codes.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(expandLogByte(codes[i]));
  }
  applyDava(samples, davaLevel, gain);
}

}  // namespace parvolin::codec
