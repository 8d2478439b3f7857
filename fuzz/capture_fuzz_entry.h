#pragma once

// The body of the stream capture fuzz target, shared with the test that replays the saved
// corpus. Input: the bytes of a ".pvcap" file. It is checked and, when accepted, replayed into a
// folder of its own, which must then be well formed; a refused capture must leave no folder.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"
#include "engine/stream_capture.h"
#include "fuzz_folder.h"

namespace parvolin::fuzz {

inline int captureFuzzOne(const std::uint8_t* data, std::size_t size) {
  const auto capture = fuzzScratchPath("capture-fuzz.pvcap");
  const auto folder = fuzzScratchPath("capture-fuzz-folder");
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  {
    std::ofstream f(capture, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }

  const engine::CaptureCheck check = engine::checkCapture(capture);
  if (check.ok()) {
    const engine::CaptureSummary& s = check.summary;
    if (s.records > 0 && s.lastTimeMs < s.firstTimeMs) std::abort();
    const std::uint64_t recordHeads = s.records * engine::kCaptureRecordHeaderSize;
    if (engine::kCaptureHeaderSize + recordHeads + s.streamBytes > size) std::abort();
    if (s.cutShortAt && *s.cutShortAt >= size) std::abort();
  } else if (check.fault && check.fault->offset > size) {
    std::abort();
  }

  engine::RecorderSettings settings;
  engine::NullEngineView view;
  base::NullDiagnostics diagnostics;
  base::ScriptedPrompt prompt;
  const engine::ReplayOutcome outcome =
      engine::replayCapture(capture, folder, settings, view, diagnostics, prompt);
  if (outcome.exitStatus == 0) {
    if (!check.ok() || outcome.records != check.summary.records) std::abort();
    checkFolderWellFormed(folder, settings.lvLogHtmlName);
  } else {
    if (check.ok() || outcome.messages.empty()) std::abort();
    if (std::filesystem::exists(folder, ec)) std::abort();
  }
  std::filesystem::remove_all(folder, ec);
  std::filesystem::remove(capture, ec);
  return 0;
}

}  // namespace parvolin::fuzz
