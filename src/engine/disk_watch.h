#pragma once

// The free space of the recording folder's disk as the user sees it: a text beside the capacity
// figures, and a warning each time it falls below 10 % and below 2 % of the disk.

#include <cstdint>
#include <optional>
#include <string>

namespace parvolin::engine {

inline constexpr int kDiskLowPercent = 10;
inline constexpr int kDiskVeryLowPercent = 2;
// A level warned about is warned about again only after the free space rose this many percentage
// points above it: a disk that hovers at the mark warns once.
inline constexpr int kDiskRearmPoints = 1;

enum class DiskLevel { kUnknown, kFine, kLow, kVeryLow };

class DiskWatch {
 public:
  // The disk's free and total bytes, looked at now. Returns the warning to give when the free
  // space fell below 10 % or 2 % since the last look; nothing otherwise (also when it rose).
  std::optional<std::string> update(std::uint64_t freeBytes, std::uint64_t totalBytes,
                                    const std::string& folder);
  DiskLevel level() const { return level_; }

 private:
  DiskLevel level_ = DiskLevel::kUnknown;
};

// "12.3 GB free (45 %)"; "1.2 MB free" when the disk's size is not known.
std::string freeSpaceText(std::uint64_t freeBytes, std::optional<std::uint64_t> totalBytes);

}  // namespace parvolin::engine
