#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/engine.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"
#include "engine/stream_capture.h"

namespace parvolin::engine {

enum class ReplayResult {
  kReplayed,   // every record replayed and written
  kUnwritten,  // replayed, but not everything could be written (the messages name it)
  kUnusable,   // the capture or the folder could not be used, or another program holds the folder
  kRefused,    // the file is no stream capture
};

struct ReplayOutcome {
  ReplayResult result = ReplayResult::kReplayed;
  std::vector<std::string> messages;  // for standard error: the refusal, or warnings
  std::uint64_t records = 0;

  // The records were replayed into the folder (whether or not all of it could be written).
  bool replayed() const {
    return result == ReplayResult::kReplayed || result == ReplayResult::kUnwritten;
  }
};

// Replays the capture at `capture` into the recording folder `folder` (created when missing)
// with `settings` (changed as the captured units' set-up changed them): every port starts idle
// with the "IDLE" or "NONE" line of its unit, the capacity is recounted from the folder, each
// record is one stream read at startEpoch + timeMs / 1000, and the run ends as every run ends.
// A capture that breaks the format is refused before anything is replayed; one whose last
// record is cut short is replayed up to its last whole record with a warning. The folder's lock
// is held while the replay runs; a folder that another program holds is left alone (kUnusable).
[[nodiscard]] ReplayOutcome replayCapture(const std::filesystem::path& capture,
                                          const std::filesystem::path& folder,
                                          RecorderSettings& settings, EngineView& view,
                                          base::Diagnostics& diagnostics, base::Prompt& prompt,
                                          const EngineOptions& options = {});

// The set-up's changes to the settings for a captured unit whose `setUp` flag is set.
void applyCapturedSetUp(const CaptureHeader& header, RecorderSettings& settings);

}  // namespace parvolin::engine
