#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

// Whole-file conversions of LV recordings, as the file manager's batch conversion and pvtool do
// them.
namespace parvolin::codec {

// The audio mode of an LV recording by its name: the digit of a ".LV0"-".LV3" extension, in any
// letter case; nullopt for other names.
std::optional<int> lvModeOf(const std::filesystem::path& file);

enum class ConversionStatus {
  kDone,
  kCannotRead,   // missing, not a regular file, or a read error (see `error`)
  kNoMemory,     // the work buffer could not be had
  kTooLong,      // more samples than a WAV file can hold
  kCannotWrite,  // the output could not be written (see `error`); nothing is left under its name
};

struct ConversionResult {
  ConversionStatus status = ConversionStatus::kDone;
  std::uint64_t samples = 0;  // N
  std::error_code error;

  bool ok() const { return status == ConversionStatus::kDone; }
};

enum class OutputForm {
  kWav8,     // 8-bit PCM WAV: header, then toUnsigned8 of every (Dava-adjusted) sample
  kRaw16Le,  // the decoded samples as 16-bit little-endian, without Dava or header
};

// Decodes the recording `lvFile` in audio `mode` and writes `output`: resetDecoder, the whole
// file decoded in one buffer of 2N + 65536 bytes, then for a WAV file applyDava at `davaLevel`
// (0 none, 1 or 2) whatever the number of samples, toUnsigned8 and the WAV header. The output is
// written under a temporary name and renamed into place, replacing an existing file.
[[nodiscard]] ConversionResult convertLvFile(
    const std::filesystem::path& lvFile, int mode, const std::filesystem::path& output,
    OutputForm form, int davaLevel,
    std::size_t memoryLimitBytes = std::numeric_limits<std::size_t>::max());

// As convertLvFile, with the same bytes, in memory that does not grow with the recording: it is
// read, decoded and written a piece of kStreamPieceBytes at a time (a few MB in all). For
// pvtool, whose recordings can be any length; never kNoMemory.
constexpr std::size_t kStreamPieceBytes = std::size_t{128} << 10;
[[nodiscard]] ConversionResult streamLvFile(const std::filesystem::path& lvFile, int mode,
                                            const std::filesystem::path& output, OutputForm form,
                                            int davaLevel);

// Text of a failed result, for messages: "cannot read: No such file or directory".
std::string describe(const ConversionResult& result);

}  // namespace parvolin::codec
