#pragma once

// A recording served to a browser: as it was recorded, or as the WAV file the batch conversion
// makes of it, produced on the fly a piece at a time, so that any byte range is quick to serve
// and memory does not grow with the recording.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"

namespace parvolin::web {

// Samples of WAV output made in one piece; a multiple of the volume adjustment's 2048.
inline constexpr std::size_t kAudioPieceSamples = std::size_t{64} << 10;

class RecordingAudio {
 public:
  // Opens `fileName` in `folder`. Refused, with `why`: a name that is not a recording's
  // (isRecordingName), a name that is a symbolic link or not a regular file, a file that cannot
  // be opened, and a recording too long for a WAV file. `davaLevel`: 0 none, 1 or 2.
  static std::optional<RecordingAudio> open(const std::filesystem::path& folder,
                                            std::string_view fileName, int davaLevel,
                                            std::string& why);

  RecordingAudio(RecordingAudio&&) noexcept;
  RecordingAudio& operator=(RecordingAudio&&) noexcept;
  ~RecordingAudio();

  // The WAV file's bytes: exactly what codec::convertLvFile(..., OutputForm::kWav8, davaLevel)
  // writes for an LV recording; a ".WAV" recording as it is.
  std::uint64_t wavSize() const;
  // Copies the WAV bytes from `offset` into `out`; returns how many (fewer at the end, 0 at or
  // past it, fewer also when the recording cannot be read any more).
  std::size_t readWav(std::uint64_t offset, std::span<std::uint8_t> out);

  // The recording's own bytes.
  std::uint64_t recordedSize() const;
  std::size_t readRecorded(std::uint64_t offset, std::span<std::uint8_t> out);

  bool isWav() const;  // a ".WAV" recording, served as it is
  int mode() const;    // the LV recording's audio mode; -1 for a ".WAV" recording

 private:
  struct State;
  explicit RecordingAudio(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace parvolin::web
