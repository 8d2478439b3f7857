#include "engine/disk_room.h"

#include <cstdio>
#include <limits>
#include <optional>
#include <string>

#include "base/audio_block.h"
#include "base/file_io.h"

namespace parvolin::engine {

DiskRoom::DiskRoom(const std::filesystem::path& recordingFolder, base::Clock& clock,
                   base::Diagnostics& diagnostics)
    : recordingFolder_(recordingFolder), clock_(clock), diagnostics_(diagnostics) {}

bool DiskRoom::lookDue(std::int64_t periodMs) const {
  return checkedAtMs_ < 0 || clock_.monotonicMs() - checkedAtMs_ >= periodMs;
}

std::uint64_t DiskRoom::audioRoom(const std::filesystem::path& folder) {
  checkedAtMs_ = clock_.monotonicMs();
  const std::optional<std::uint64_t> free = base::freeBytes(folder);
  // A disk that cannot tell its free space is written as before.
  if (!free) return std::numeric_limits<std::uint64_t>::max();
  if (look_ && folder == recordingFolder_) look_(*free);
  noteSpace(folder, *free);
  if (*free <= kDiskReserveBytes) return 0;
  const std::uint64_t room = *free - kDiskReserveBytes;
  return room - room % base::kAudioBlockSize;
}

void DiskRoom::noteSpace(const std::filesystem::path& folder, std::uint64_t freeBytes) {
  const DiskSpace now = freeBytes <= kDiskReserveBytes   ? DiskSpace::kReserve
                        : freeBytes <= kDiskWarningBytes ? DiskSpace::kLow
                                                         : DiskSpace::kEnough;
  if (now == space_ || folder != recordingFolder_) return;
  constexpr std::uint64_t kMb = 1u << 20;
  char megabytes[32];
  std::snprintf(megabytes, sizeof megabytes, "%.1f MB",
                static_cast<double>(freeBytes) / static_cast<double>(kMb));
  const std::string freeText = std::string(megabytes) + " free in " + folder.string();
  switch (now) {
    case DiskSpace::kLow:
      if (space_ == DiskSpace::kEnough) {
        diagnostics_.report("Disk nearly full: " + freeText + "; recording stops at " +
                            std::to_string(kDiskReserveBytes / kMb) + " MB");
      }
      break;
    case DiskSpace::kReserve:
      diagnostics_.report("Disk full: " + freeText +
                          "; no more audio is written, call records and list rows still are");
      break;
    case DiskSpace::kEnough:
      diagnostics_.report("Disk space available again: " + freeText);
      break;
  }
  space_ = now;
}

}  // namespace parvolin::engine
