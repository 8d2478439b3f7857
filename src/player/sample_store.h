#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "base/file_io.h"

namespace parvolin::player {

// The decoded 16-bit samples of the recording being played, exactly as decoded, kept for the
// volume adjustment so that it always starts from the unadjusted sound.
//
// They live in a file of this player's own that has no name (or loses it at once), so that any
// number of players can run side by side and no file is ever left behind, however the player
// ends. When no such file can be made or written, the samples are kept in memory instead.
class SampleStore {
 public:
  // The file is made in `folder` (the system's temporary folder by default).
  explicit SampleStore(const std::filesystem::path& folder);
  SampleStore(const SampleStore&) = delete;
  SampleStore& operator=(const SampleStore&) = delete;

  // Adds samples at the end. Returns false only when they could be kept neither in the file nor
  // in memory; the store then holds no samples and refuses further ones.
  [[nodiscard]] bool append(std::span<const std::int16_t> samples);
  // Copies out.size() samples from sample `first` on into `out`; false when the store holds
  // fewer or cannot read them back.
  [[nodiscard]] bool read(std::span<std::int16_t> out, std::size_t first = 0) const;

  std::size_t size() const { return count_; }
  bool inFile() const { return file_.isOpen(); }
  bool broken() const { return broken_; }

 private:
  [[nodiscard]] bool moveToMemory();
  void closeFile();

  base::FileHandle file_;
  std::size_t count_ = 0;
  bool broken_ = false;
  std::vector<std::int16_t> memory_;
};

}  // namespace parvolin::player
