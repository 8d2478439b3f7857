#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/file_io.h"

// The recording the player is started for: its path from the command line, its audio mode from
// its name, and the open file.
namespace parvolin::player {

inline constexpr std::string_view kUsageText = "Usage: LvPlayer lvfilename";
inline constexpr int kOpenAttempts = 21;

// The whole text after the program's name, the arguments joined with blanks: the path, blanks
// included, without any handling of quotation marks.
std::string commandLinePath(int argc, const char* const* argv);

// The audio mode by the last three characters of the name, in any letter case: "LV0" to "LV3"
// give 0 to 3; nullopt for any other name.
std::optional<int> modeFromName(std::string_view path);

// An open recording, read once from start to end by the player, and closed.
class RecordingFile {
 public:
  // Opens `path` for reading, trying again at once up to 20 more times; nullopt when it cannot
  // be opened or is not a regular file.
  static std::optional<RecordingFile> open(const std::filesystem::path& path);

  // The length when it was opened.
  std::uint64_t length() const { return length_; }
  // Reads up to `length` bytes from byte `offset` on into `dst` and returns how many were read:
  // fewer when the file has shrunk since it was opened; nullopt on a read error.
  [[nodiscard]] std::optional<std::size_t> readAt(std::uint64_t offset, std::uint8_t* dst,
                                                  std::size_t length);
  void close();

 private:
  RecordingFile(base::FileHandle file, std::uint64_t length)
      : file_(std::move(file)), length_(length) {}
  base::FileHandle file_;
  std::uint64_t length_ = 0;
};

}  // namespace parvolin::player
