#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/call_record.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"

namespace parvolin::engine {

inline constexpr std::uint32_t kBlocksPerMegabyte = 2048;  // 512-byte blocks

// "w%08Xp%01X.LV%01X", or "w%08Xp%01X.WAV" when `wavFormat` is set.
std::string recordingFileName(std::uint32_t startTime, int portIndex, int audioMode,
                              bool wavFormat);

// The two capacity figures and the item number of the list row written last; -1 = unknown.
struct CapacityCounters {
  std::int32_t loggedItems = -1;
  std::int32_t loggedBlocks = -1;
  std::int32_t rowCountCache = -1;

  void forget() { loggedItems = loggedBlocks = rowCountCache = -1; }
};

// The limits of the settings ("UItemNoLimitSetting", "USpaceLimitSetting").
struct CapacityLimits {
  std::int32_t itemLimit = settingSpec(Setting::kItemLimit).number;
  std::int32_t spaceLimitMb = settingSpec(Setting::kSpaceLimit).number;
};

// A kept call as the incremental form of updateCapacity sees it.
struct KeptCall {
  const CallRecord& record;
  int audioMode;
  bool wavFormat;
};

// updateCapacity: with `call`, the incremental form (a known counter grows by the call; an
// unknown one is recounted); without, the recount form for counters set to -1. Reads the HTML
// list `listPath` and the recordings in `folder`. `rowCountCache` takes `loggedItems` unless
// `keepRowCount` (rows of the list are still waiting to be written). Returns what the window
// shows.
CapacityDisplay updateCapacity(CapacityCounters& counters, const std::filesystem::path& folder,
                               const std::filesystem::path& listPath, const CapacityLimits& limits,
                               const std::optional<KeptCall>& call, bool keepRowCount = false);

// The texts and bar values for the current counters.
CapacityDisplay capacityDisplay(const CapacityCounters& counters, const CapacityLimits& limits);

// The number in five characters (leading spaces allowed) at `offset` of `bytes`; 0 when they
// are not all there or hold no number.
int readItemNumber(std::string_view bytes, std::size_t offset);

// The item number of the list's first row (the newest): 0 when the list or the number is not
// there.
int firstItemNumberOfList(const std::filesystem::path& listPath);

// Sum of length / 512 over the recordings of the folder (*.WAV, *.LV0 to *.LV3).
std::int32_t countRecordedBlocks(const std::filesystem::path& folder);

}  // namespace parvolin::engine
