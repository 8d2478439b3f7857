#include "engine/capture_replay.h"

#include "base/clock.h"
#include "base/folder_lock.h"
#include "engine/call_log.h"
#include "engine/engine.h"

namespace parvolin::engine {

void applyCapturedSetUp(const CaptureHeader& header, RecorderSettings& settings) {
  for (const CaptureUnit& unit : header.units) {
    if ((unit.flags & kUnitSetUp) == 0) continue;
    applyUnitSetUp(settings, unit.audioMode);
  }
}

ReplayOutcome replayCapture(const std::filesystem::path& capture,
                            const std::filesystem::path& folder, RecorderSettings& settings,
                            EngineView& view, base::Diagnostics& diagnostics, base::Prompt& prompt,
                            const EngineOptions& options) {
  ReplayOutcome outcome;
  // Refuse a broken capture before anything is written.
  const CaptureCheck check = checkCapture(capture);
  if (check.ioError) {
    outcome.result = ReplayResult::kUnusable;
    outcome.messages.push_back(capture.string() + ": " + check.ioError.message());
    return outcome;
  }
  if (check.fault) {
    outcome.result = ReplayResult::kRefused;
    outcome.messages.push_back(describeCaptureFault(capture, *check.fault));
    return outcome;
  }
  if (check.summary.cutShortAt) {
    outcome.messages.push_back(capture.string() + ": last record cut short at byte " +
                               std::to_string(*check.summary.cutShortAt) +
                               "; replayed up to the last whole record");
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    outcome.result = ReplayResult::kUnusable;
    outcome.messages.push_back(folder.string() + ": " + error.message());
    return outcome;
  }
  // One writer per recording folder: a recorder or another replay there is left alone.
  const base::FolderClaim claim = base::claimFolder(folder);
  if (claim.refused()) {
    outcome.result = ReplayResult::kUnusable;
    outcome.messages.push_back(claim.message);
    return outcome;
  }
  if (!claim.message.empty()) outcome.messages.push_back(claim.message);

  const CaptureHeader& header = check.summary.header;
  applyCapturedSetUp(header, settings);
  base::VirtualClock clock(std::int64_t(header.startEpoch) * 1000);
  NoUnitStreams units;
  Engine engine(units, clock, settings, folder, view, diagnostics, prompt, options);
  engine.resetPorts();
  for (int u = 0; u < device::kMaxUnits; ++u) {
    const CaptureUnit& unit = header.units[std::size_t(u)];
    engine.setAudioMode(u, unit.audioMode);
    engine.setVarOffDelay(u, unit.varOffDelay);
    const PortLine line = (unit.flags & kUnitIdle) ? PortLine::kIdle : PortLine::kNone;
    for (int p = 0; p < device::kPortsPerUnit; ++p) {
      const int portIndex = u * device::kPortsPerUnit + p;
      engine.setPortLine(portIndex, line);
    }
  }
  engine.recountCapacity();

  CaptureReader reader;
  CaptureFault fault;
  std::error_code ioError;
  if (!reader.open(capture, fault, ioError)) {
    outcome.result = ReplayResult::kUnusable;
    outcome.messages.push_back(capture.string() + ": cannot read it again");
    return outcome;
  }
  CaptureRecord record;
  const std::int64_t startMs = std::int64_t(header.startEpoch) * 1000;
  while (reader.next(record, fault) == CaptureReader::Step::kRecord) {
    clock.advanceMs(startMs + record.timeMs - clock.wallMs());
    engine.processRead(record.unit, record.bytes,
                       std::int64_t(header.startEpoch) + record.timeMs / 1000);
    engine.retryDeferredWrites();
    ++outcome.records;
  }
  engine.finishRun();
  const std::vector<std::string> unwritten =
      engine.unwritten().describe(kCallLogName, settings.lvLogHtmlName);
  if (!unwritten.empty()) {
    outcome.result = ReplayResult::kUnwritten;
    outcome.messages.insert(outcome.messages.end(), unwritten.begin(), unwritten.end());
  }
  return outcome;
}

}  // namespace parvolin::engine
