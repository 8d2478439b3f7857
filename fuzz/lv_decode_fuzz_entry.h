#pragma once

// The body of the LV decoding fuzz target, shared with the test that replays the saved corpus.
// Input: byte 0 is the audio mode (as a signed value: anything but 1-3 means mode 0), byte 1
// picks the Dava level (low two bits, 3 meaning none) and, with bit 7, also runs the call-end
// WAV conversion on the rest; the rest is the recording.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/prompt.h"
#include "codec/call_wav.h"
#include "codec/dava.h"
#include "codec/lv_decoder.h"
#include "codec/wav_header.h"
#include "fuzz_folder.h"
#include "support/scripted_prompt.h"

namespace parvolin::fuzz {

inline std::string lvDecodeFuzzCheck(const std::uint8_t* data, std::size_t size,
                                     const std::filesystem::path& scratch) {
  if (size < 2) return {};
  const int mode = static_cast<std::int8_t>(data[0]);
  const int level = (data[1] & 3) == 3 ? 0 : data[1] & 3;
  const bool callWav = (data[1] & 0x80) != 0;
  const std::span<const std::uint8_t> file(data + 2, size - 2);

  // Decoding into a separate buffer and in place must agree exactly.
  codec::DecoderState s1, s2;
  codec::DavaGainState g1, g2;
  codec::resetDecoder(s1, g1);
  codec::resetDecoder(s2, g2);
  const auto n = static_cast<std::size_t>(codec::sampleCountFor(file.size(), mode));
  std::vector<std::int16_t> separate(n);
  if (codec::decodeLv(file, mode, s1, separate) != n) return "decodeLv: not every sample";

  // Left unfilled as the decoder's callers leave it: most of it is slack the decoding never
  // touches, and filling it would cost more than the decoding.
  const auto elements = static_cast<std::size_t>(codec::decodeBufferElementsFor(file.size(), mode));
  const auto storage = std::make_unique_for_overwrite<std::int16_t[]>(elements);
  const std::span<std::int16_t> buffer(storage.get(), elements);
  if (!file.empty()) std::memcpy(buffer.data(), file.data(), file.size());
  const auto inPlace = codec::decodeLvBuffer(buffer, file.size(), mode, s2);
  if (!inPlace || *inPlace != n) return "decodeLvBuffer: not every sample";
  if (n > 0 && std::memcmp(buffer.data(), separate.data(), n * sizeof(std::int16_t)) != 0) {
    return "decoding in place gives other samples";
  }
  if (!(s1 == s2)) return "decoding in place ends in another decoder state";

  codec::applyDava(std::span(separate), level, g1);
  unsigned sum = 0;
  for (std::int16_t v : separate) sum += codec::toUnsigned8(v);
  if (n == 0 && sum != 0) return "no samples, yet a sum";

  if (callWav) {
    const auto path = scratch / "call.WAV";
    if (!writeScratchFile(path, {reinterpret_cast<const char*>(file.data()), file.size()})) {
      return "cannot write the recording";
    }
    test::ScriptedPrompt prompt;
    codec::DavaGainState gain{1 + data[1] % 8};
    if (!codec::convertCallToWav(path, level, gain, prompt)) return "convertCallToWav failed";
    std::error_code ec;
    const auto wavSize = std::filesystem::file_size(path, ec);
    if (wavSize != file.size() + codec::kWavHeaderSize) {
      return "call WAV of " + std::to_string(wavSize) + " bytes for " +
             std::to_string(file.size()) + " bytes of recording";
    }
    // Leaves the scratch folder empty, which is quicker to check for than to empty.
    std::filesystem::remove(path, ec);
  }
  return {};
}

}  // namespace parvolin::fuzz
