#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "engine/unwritten.h"

namespace parvolin::engine {

// The free space of the disks the recordings go to, as the audio writes see it: audio never
// takes the reserve the call log and the list need, and a change of how the recording folder's
// disk stands is reported (nearly full, full, space again).
class DiskRoom {
 public:
  // `recordingFolder` is the engine's folder as it stands at each look; every reference must
  // outlive the DiskRoom.
  DiskRoom(const std::filesystem::path& recordingFolder, base::Clock& clock,
           base::Diagnostics& diagnostics);

  // Looks at the free space of `folder`; a change of space() is reported when `folder` is the
  // recording folder. Returns the bytes of audio that may still be written there above
  // kDiskReserveBytes, in whole blocks (no limit when the free space cannot be told).
  std::uint64_t audioRoom(const std::filesystem::path& folder);
  // No look was taken yet, or the last one is `periodMs` old or more.
  bool lookDue(std::int64_t periodMs) const;
  // The recording folder's disk as last looked at.
  DiskSpace space() const { return space_; }
  // Told the free bytes of each look at the recording folder's disk.
  void onRecordingFolderLook(std::function<void(std::uint64_t freeBytes)> look) {
    look_ = std::move(look);
  }

 private:
  void noteSpace(const std::filesystem::path& folder, std::uint64_t freeBytes);

  const std::filesystem::path& recordingFolder_;
  base::Clock& clock_;
  base::Diagnostics& diagnostics_;
  DiskSpace space_ = DiskSpace::kEnough;
  std::int64_t checkedAtMs_ = -1;
  std::function<void(std::uint64_t)> look_;
};

}  // namespace parvolin::engine
