#pragma once

// The body of the stream capture fuzz target, shared with the test that replays the saved
// corpus. Input: the bytes of a ".pvcap" file. It is checked and, when accepted, replayed into a
// folder of its own, which must then be well formed; a refused capture must leave no folder.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"
#include "engine/stream_capture.h"
#include "fuzz_folder.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"

namespace parvolin::fuzz {

inline std::string captureFuzzCheck(const std::uint8_t* data, std::size_t size,
                                    const std::filesystem::path& scratch) {
  const auto capture = scratch / "input.pvcap";
  const auto folder = scratch / "replayed";
  if (!writeScratchFile(capture, {reinterpret_cast<const char*>(data), size})) {
    return "cannot write the capture";
  }

  const engine::CaptureCheck check = engine::checkCapture(capture);
  if (check.ok()) {
    const engine::CaptureSummary& s = check.summary;
    if (s.records > 0 && s.lastTimeMs < s.firstTimeMs) return "check: last time before first";
    const std::uint64_t recordHeads = s.records * engine::kCaptureRecordHeaderSize;
    if (engine::kCaptureHeaderSize + recordHeads + s.streamBytes > size) {
      return "check: records and stream bytes add up to more than the file";
    }
    if (s.cutShortAt && *s.cutShortAt >= size) return "check: cut short past the end";
  } else if (check.fault && check.fault->offset > size) {
    return "check: fault at byte " + std::to_string(check.fault->offset) + " past the end";
  }

  engine::RecorderSettings settings;
  engine::NullEngineView view;
  test::NullDiagnostics diagnostics;
  test::ScriptedPrompt prompt;
  const engine::ReplayOutcome outcome = engine::replayCapture(
      capture, folder, settings, view, diagnostics, prompt, fuzzEngineOptions());
  if (outcome.result == parvolin::engine::ReplayResult::kReplayed) {
    if (!check.ok()) return "replay accepted a capture the check refused";
    if (outcome.records != check.summary.records) {
      return "replay ran " + std::to_string(outcome.records) + " records, the check counted " +
             std::to_string(check.summary.records);
    }
    if (std::string fault = folderFault(folder, settings.lvLogHtmlName); !fault.empty()) {
      return "replayed folder: " + fault;
    }
  } else {
    if (check.ok()) return "replay refused a capture the check accepted";
    if (outcome.messages.empty()) return "replay refused without a message";
    std::error_code ec;
    if (std::filesystem::exists(folder, ec)) return "refused replay left a folder";
  }
  return {};
}

}  // namespace parvolin::fuzz
