#include "codec/lv_conversion.h"

#include <memory>
#include <new>
#include <span>
#include <string>

#include "base/file_io.h"
#include "codec/dava.h"
#include "codec/decoder_state.h"
#include "codec/lv_decoder.h"
#include "codec/raw_file.h"
#include "codec/wav_header.h"

namespace parvolin::codec {

std::optional<int> lvModeOf(const std::filesystem::path& file) {
  const std::string ext = file.extension().string();
  if (ext.size() != 4 || ext[0] != '.') return std::nullopt;
  if ((ext[1] != 'L' && ext[1] != 'l') || (ext[2] != 'V' && ext[2] != 'v')) return std::nullopt;
  if (ext[3] < '0' || ext[3] > '3') return std::nullopt;
  return ext[3] - '0';
}

ConversionResult convertLvFile(const std::filesystem::path& lvFile, int mode,
                               const std::filesystem::path& output, OutputForm form, int davaLevel,
                               std::size_t memoryLimitBytes) {
  ConversionResult result;
  const auto length = regularFileLength(lvFile, result.error);
  if (!length) {
    result.status = ConversionStatus::kCannotRead;
    return result;
  }
  const std::uint64_t n = sampleCountFor(*length, mode);
  result.samples = n;
  const std::uint64_t dataBytes = form == OutputForm::kWav8 ? n : 2 * n;
  const auto header = WavHeader::forDataBytes(dataBytes);
  if (form == OutputForm::kWav8 && !header) {
    result.status = ConversionStatus::kTooLong;
    return result;
  }

  const std::uint64_t elements = decodeBufferElementsFor(*length, mode);
  std::unique_ptr<std::int16_t[]> buffer;
  if (elements <= memoryLimitBytes / 2) {
    buffer.reset(new (std::nothrow) std::int16_t[static_cast<std::size_t>(elements)]);
  }
  if (!buffer) {
    result.status = ConversionStatus::kNoMemory;
    return result;
  }
  auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.get());
  if (!readFileStart(lvFile, bytes, static_cast<std::size_t>(*length), result.error)) {
    result.status = ConversionStatus::kCannotRead;
    return result;
  }

  DecoderState state;
  DavaGainState gain;
  resetDecoder(state, gain);
  const std::span<std::int16_t> whole(buffer.get(), static_cast<std::size_t>(elements));
  const std::size_t count =
      decodeLvBuffer(whole, static_cast<std::size_t>(*length), mode, state).value_or(0);
  const std::span<std::int16_t> samples = whole.first(count);

  // The output is built over the samples it comes from: output byte i never lies beyond the
  // samples still to be read (i for 8-bit, 2i and 2i + 1 for 16-bit).
  std::span<const std::uint8_t> data;
  if (form == OutputForm::kWav8) {
    applyDava(samples, davaLevel, gain);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = toUnsigned8(samples[i]);
    data = {bytes, count};
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      const auto v = static_cast<std::uint16_t>(samples[i]);
      bytes[2 * i] = static_cast<std::uint8_t>(v);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    data = {bytes, 2 * count};
  }

  if (form == OutputForm::kWav8) {
    const auto head = header->encode();
    result.error = base::replaceFileContents(output, {head, data});
  } else {
    result.error = base::replaceFileContents(output, {data});
  }
  if (result.error) result.status = ConversionStatus::kCannotWrite;
  return result;
}

std::string describe(const ConversionResult& result) {
  switch (result.status) {
    case ConversionStatus::kDone:
      return "done";
    case ConversionStatus::kCannotRead:
      return "cannot read: " + result.error.message();
    case ConversionStatus::kNoMemory:
      return "not enough memory to convert it";
    case ConversionStatus::kTooLong:
      return "too long for a WAV file";
    case ConversionStatus::kCannotWrite:
      return "cannot write the output: " + result.error.message();
  }
  return "failed";
}

}  // namespace parvolin::codec
