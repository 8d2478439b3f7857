#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/exit_status.h"
#include "base/prompt.h"
#include "engine/engine.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"
#include "engine/stream_capture.h"

namespace parvolin::engine {

// The exit status of a replay that could not write everything it replayed (messages name it).
inline constexpr int kReplayUnwritten = base::kExitIncomplete;

struct ReplayOutcome {
  // 0 replayed, 1 the folder or the file could not be used, 2 refused, 4 replayed but not all
  // written (kReplayUnwritten)
  int exitStatus = 0;
  std::vector<std::string> messages;  // for standard error: the refusal, or warnings
  std::uint64_t records = 0;
};

// Replays the capture at `capture` into the recording folder `folder` (created when missing)
// with `settings` (changed as the captured units' set-up changed them): every port starts idle
// with the "IDLE" or "NONE" line of its unit, the capacity is recounted from the folder, each
// record is one stream read at startEpoch + timeMs / 1000, and the run ends as every run ends.
// A capture that breaks the format is refused before anything is replayed; one whose last
// record is cut short is replayed up to its last whole record with a warning. The folder's lock
// is held while the replay runs; a folder that another program holds is left alone (status 1).
[[nodiscard]] ReplayOutcome replayCapture(const std::filesystem::path& capture,
                                          const std::filesystem::path& folder,
                                          RecorderSettings& settings, EngineView& view,
                                          base::Diagnostics& diagnostics, base::Prompt& prompt,
                                          const EngineOptions& options = {});

// The set-up's changes to the settings for a captured unit whose `setUp` flag is set.
void applyCapturedSetUp(const CaptureHeader& header, RecorderSettings& settings);

}  // namespace parvolin::engine
