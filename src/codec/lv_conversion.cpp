#include "codec/lv_conversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

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

namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

// Reads exactly `size` bytes; a file that ends sooner (it shrank) is an I/O error.
std::error_code readExactly(int fd, std::uint8_t* into, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, into + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return lastError();
    if (n == 0) return std::make_error_code(std::errc::io_error);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

// The samples of a file as they are decoded, turned into output bytes: Dava holds back the
// first 4096 samples (their mean is its offset) and a part block of 2048 until the next piece
// or the end.
class OutputStage {
 public:
  OutputStage(OutputForm form, int davaLevel) : form_(form), davaLevel_(davaLevel) {
    if (form_ != OutputForm::kWav8 || (davaLevel_ != kDavaLevel1 && davaLevel_ != kDavaLevel2))
      davaLevel_ = kDavaNone;
  }

  // Takes the next samples; returns the output bytes that are ready.
  std::span<const std::uint8_t> take(std::span<const std::int16_t> samples, bool last) {
    std::span<std::int16_t> ready;
    if (davaLevel_ == kDavaNone) {
      held_.assign(samples.begin(), samples.end());
      ready = held_;
    } else {
      held_.insert(held_.end(), samples.begin(), samples.end());
      if (!offset_ && (held_.size() >= kDavaMeanSamples || last)) offset_ = davaOffset(held_);
      if (!offset_) return {};
      const std::size_t whole =
          last ? held_.size() : held_.size() / kDavaBlockSamples * kDavaBlockSamples;
      ready = std::span(held_).first(whole);
      applyDavaWithOffset(ready, davaLevel_, *offset_, gain_);
    }
    bytes_.resize(ready.size() * (form_ == OutputForm::kWav8 ? 1 : 2));
    std::uint8_t* out = bytes_.data();
    if (form_ == OutputForm::kWav8) {
      for (const std::int16_t s : ready) *out++ = toUnsigned8(s);
    } else {
      for (const std::int16_t s : ready) {
        const auto v = static_cast<std::uint16_t>(s);
        *out++ = static_cast<std::uint8_t>(v);
        *out++ = static_cast<std::uint8_t>(v >> 8);
      }
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(ready.size()));
    return bytes_;
  }

 private:
  OutputForm form_;
  int davaLevel_;
  DavaGainState gain_;
  std::optional<std::int32_t> offset_;
  std::vector<std::int16_t> held_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

ConversionResult streamLvFile(const std::filesystem::path& lvFile, int mode,
                              const std::filesystem::path& output, OutputForm form, int davaLevel) {
  ConversionResult result;
  const auto length = regularFileLength(lvFile, result.error);
  if (!length) {
    result.status = ConversionStatus::kCannotRead;
    return result;
  }
  const std::uint64_t n = sampleCountFor(*length, mode);
  result.samples = n;
  const auto header = WavHeader::forDataBytes(form == OutputForm::kWav8 ? n : 2 * n);
  if (form == OutputForm::kWav8 && !header) {
    result.status = ConversionStatus::kTooLong;
    return result;
  }
  base::FileHandle in(::open(lvFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.isOpen()) {
    result.error = lastError();
    result.status = ConversionStatus::kCannotRead;
    return result;
  }

  // As base::replaceFileContents: a hidden temporary file, synced and renamed into place.
  const std::filesystem::path temp = base::temporaryPathFor(output);
  base::FileHandle out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!out.isOpen()) {
    result.error = lastError();
    result.status = ConversionStatus::kCannotWrite;
    return result;
  }
  if (form == OutputForm::kWav8) {
    const auto head = header->encode();
    result.error = base::writeAll(out.fd(), head);
  }

  DecoderState state;
  DavaGainState unused;
  resetDecoder(state, unused);
  OutputStage stage(form, davaLevel);
  std::vector<std::uint8_t> piece(kStreamPieceBytes);
  std::vector<std::int16_t> samples(
      static_cast<std::size_t>(sampleCountFor(kStreamPieceBytes, kModeAdpcm16k)));
  for (std::uint64_t done = 0; !result.error && (done < *length || done == 0);) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(kStreamPieceBytes, *length - done));
    if (const std::error_code error = readExactly(in.fd(), piece.data(), size)) {
      result.error = error;
      result.status = ConversionStatus::kCannotRead;
      break;
    }
    done += size;
    // Pieces are whole blocks except the last, so they decode as the whole file would.
    const std::size_t count = decodeLv(std::span(piece).first(size), mode, state, samples);
    const auto bytes = stage.take(std::span(samples).first(count), done == *length);
    if (!bytes.empty()) result.error = base::writeAll(out.fd(), bytes);
    if (size == 0) break;
  }
  if (!result.error && base::durabilityWaits() && ::fsync(out.fd()) != 0)
    result.error = lastError();
  if (const std::error_code closed = out.close(); !result.error) result.error = closed;
  if (!result.error && ::rename(temp.c_str(), output.c_str()) != 0) result.error = lastError();
  if (result.error) {
    ::unlink(temp.c_str());
    if (result.status == ConversionStatus::kDone) result.status = ConversionStatus::kCannotWrite;
    return result;
  }
  base::syncFolder(output.parent_path());
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
