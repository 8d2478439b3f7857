// Retention passes and the disk watch of the engine: the pass after kept calls and once an hour,
// one asked for by the user, and the free space shown and warned about.

#include <algorithm>
#include <utility>

#include "base/audio_block.h"
#include "base/file_io.h"
#include "engine/call_log.h"
#include "engine/engine.h"

namespace parvolin::engine {

RetentionRule retentionRuleOf(const RecorderSettings& settings) {
  RetentionRule rule;
  rule.days = std::max(0, settings.retentionDays);
  rule.atLimits = settings.retentionAtLimits != 0;
  rule.itemLimit = settings.itemLimit;
  rule.spaceLimitMb = settings.spaceLimit;
  rule.keepFreeBytes = std::uint64_t(std::max(0, settings.keepFreeMb)) * kRetentionMegabyte;
  return rule;
}

void Engine::noteCallKeptForRetention(std::uint32_t startTime) {
  ++retention_.keptSincePass;
  if (!retention_.oldestMayGo || startTime < *retention_.oldestMayGo) {
    retention_.oldestMayGo = startTime;
  }
}

bool Engine::retentionWanted(const RetentionRule& rule) {
  if (rule.days > 0) {
    const std::int64_t cutoff = clock_.wallMs() / 1000 - std::int64_t(rule.days) * kSecondsPerDay;
    if (retention_.oldestMayGo && std::int64_t(*retention_.oldestMayGo) < cutoff) return true;
  }
  if (rule.atLimits) {
    const std::int64_t rows =
        retention_.rowsAfterPass >= 0 ? retention_.rowsAfterPass : counters_.loggedItems;
    if (rule.itemLimit > 0 && rows + std::int64_t(retention_.keptSincePass) > rule.itemLimit) {
      return true;
    }
    if (rule.spaceLimitMb > 0 && std::int64_t(counters_.loggedBlocks) >
                                     std::int64_t(rule.spaceLimitMb) * kBlocksPerMegabyte) {
      return true;
    }
  }
  if (rule.keepFreeBytes > 0) {
    const std::optional<std::uint64_t> free = base::freeBytes(folder_);
    if (free && *free < rule.keepFreeBytes) return true;
  }
  return false;
}

void Engine::retentionTick() {
  if (retention_.planning) {
    continueRetention();
    return;
  }
  const RetentionRule rule = retentionRuleOf(settings_);
  if (!rule.any() || retention_.inFlight || listEditPending()) return;
  const std::int64_t nowMs = clock_.monotonicMs();
  const bool hourly =
      retention_.lastPassMs < 0 || nowMs - retention_.lastPassMs >= kRetentionPeriodMs;
  if (!hourly && (retention_.keptSincePass == 0 || !retentionWanted(rule))) {
    return;
  }
  runRetention(false);
}

std::vector<std::string> Engine::recordingsInUse() const {
  std::vector<std::string> inUse;
  for (const PortState& port : ports_) {
    if (port.hasRecording() && port.audioFolder == folder_) inUse.push_back(port.audioFileName);
  }
  for (std::string& name : audio_.held().namesIn(folder_)) inUse.push_back(std::move(name));
  return inUse;
}

struct Engine::RetentionPlanning {
  // Given by the tick.
  bool dryRun = false;
  RetentionDone done;
  std::filesystem::path folder;
  std::filesystem::path list;
  std::vector<std::string> inUse;
  RetentionRule rule;
  std::int64_t now = 0;
  std::size_t keptBefore = 0;  // calls kept before the pass began: the ones it can see
  bool started = false;
  // Found on the list writer's thread: reading a large list and log, and counting the
  // recordings, takes longer than a poll tick may.
  std::optional<RetentionPlan> plan;
  std::string error;

  void run(const ListWriter& writer) {
    std::string file;
    if (const std::error_code readError = base::readWholeFile(list, file);
        readError && readError != std::errc::no_such_file_or_directory) {
      error = base::describeFailure(list, "read the list", readError);
      return;
    }
    const std::vector<std::string> waiting = writer.rowsNotInList();
    const std::string withWaiting = waiting.empty() ? file : listWithWaitingRows(file, waiting);
    CallLogContents log;
    if (const std::error_code logError = readCallLog(folder / kCallLogName, log);
        logError && logError != std::errc::no_such_file_or_directory) {
      error = base::describeFailure(folder / kCallLogName, "read the call log", logError);
      return;
    }
    RetentionFigures figures;
    figures.now = now;
    figures.recordingBytes =
        std::uint64_t(countRecordedBlocks(folder)) * std::uint64_t(base::kAudioBlockSize);
    figures.freeBytes = base::freeBytes(folder);
    plan = planRetention(withWaiting, log.records, folder, inUse, rule, figures);
  }
};

void Engine::runRetention(bool dryRun, RetentionDone done) {
  RetentionReport report;
  report.dryRun = dryRun;
  if (retention_.inFlight || retention_.planning) {
    report.error = "a pass is under way";
    if (done) done(report);
    return;
  }
  if (!dryRun && listEditPending()) {
    report.error = "an edit of the list waits; the pass comes after it";
    if (done) done(report);
    return;
  }
  auto planning = std::make_shared<RetentionPlanning>();
  planning->dryRun = dryRun;
  planning->done = std::move(done);
  planning->folder = folder_;
  planning->list = listPath();
  planning->inUse = recordingsInUse();
  planning->rule = retentionRuleOf(settings_);
  planning->now = clock_.wallMs() / 1000;
  planning->keptBefore = retention_.keptSincePass;
  retention_.planning = std::move(planning);
  continueRetention();
}

void Engine::continueRetention() {
  RetentionPlanning& planning = *retention_.planning;
  if (!planning.started) {
    planning.started = listWriter_->startTask(
        [shared = retention_.planning, writer = listWriter_.get()] { shared->run(*writer); });
    if (!planning.started) return;  // a rewrite runs: the next tick starts it
  }
  if (listWriter_->taskRunning()) return;
  const std::shared_ptr<RetentionPlanning> done = std::exchange(retention_.planning, nullptr);
  carryOutRetention(*done);
}

void Engine::carryOutRetention(RetentionPlanning& planning) {
  RetentionReport report;
  report.dryRun = planning.dryRun;
  const auto answer = [&planning, &report] {
    if (planning.done) planning.done(report);
  };
  if (!planning.plan) {
    report.error = planning.error;
    return answer();
  }
  if (planning.folder != folder_) {
    report.error = "the recording folder changed during the pass";
    return answer();
  }
  if (!planning.dryRun && listEditPending()) {
    report.error = "an edit of the list waits; the pass comes after it";
    return answer();
  }
  RetentionPlan plan = std::move(*planning.plan);
  const bool dryRun = planning.dryRun;
  if (!dryRun) {
    retention_.lastPassMs = clock_.monotonicMs();
    // Calls kept while the pass was planned were not in it; they count for the next one.
    retention_.keptSincePass -= std::min(retention_.keptSincePass, planning.keptBefore);
    retention_.oldestMayGo = plan.oldestMayGo;
    retention_.rowsAfterPass = std::int64_t(plan.listRows - plan.items.size());
  }
  if (dryRun || !plan.edit) {
    report.calls = plan.items.size();
    report.items = plan.items;
    report.bytes = plan.bytes;
    report.recordings = plan.recordings;
    report.oldestKept = plan.oldestKept;
    if (!dryRun) ++retention_.passes;
    return answer();
  }
  retention_.inFlight = true;
  PendingListEdit edit = *plan.edit;
  requestListEdit(std::move(edit), [this, plan = std::move(plan), done = std::move(planning.done)](
                                       const ListEditResult& result) mutable {
    finishRetention(plan, result, std::move(done));
  });
}

void Engine::finishRetention(const RetentionPlan& plan, const ListEditResult& result,
                             RetentionDone done) {
  retention_.inFlight = false;
  ++retention_.passes;
  RetentionReport report;
  report.oldestKept = plan.oldestKept;
  if (!result.applied) {
    report.error = result.error == std::errc::operation_canceled
                       ? "another edit of the list took the pass's place"
                       : "the list could not be edited";
    retention_.lastPassMs = -1;  // tried again on the next tick
    if (done) done(report);
    return;
  }
  std::string list;
  if (base::readWholeFile(listPath(), list)) list.clear();
  const RetentionTaken taken = takenByEdit(plan, list);
  report.calls = taken.items.size();
  report.items = taken.items;
  const std::vector<std::string>& files = taken.recordings;
  for (const std::string& name : files) {
    const std::filesystem::path path = folder_ / name;
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
    std::error_code error;
    if (!std::filesystem::remove(path, error)) {
      if (error) {
        failures_.report(name, FileFailure::kDelete,
                         base::describeFailure(path, "delete the old call", error));
      }
      continue;
    }
    report.bytes += sizeError ? 0 : size;
    report.recordings.push_back(name);
  }
  if (!files.empty()) base::syncFolder(folder_);
  counters_.loggedBlocks = -1;
  recount();
  if (report.calls != 0) diagnostics_.report(report.summary());
  if (done) done(report);
}

void Engine::watchDisk(std::uint64_t freeBytes) {
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(folder_, error);
  const std::optional<std::uint64_t> total =
      error || space.capacity == 0 ? std::nullopt : std::optional<std::uint64_t>(space.capacity);
  std::string text = freeSpaceText(freeBytes, total);
  if (total) {
    if (const std::optional<std::string> warning =
            diskWatch_.update(freeBytes, *total, folder_.string())) {
      diagnostics_.report(*warning);
    }
  }
  if (text != shown_.freeText) {
    shown_.freeText = std::move(text);
    view_.showCapacity(shown_);
  }
}

}  // namespace parvolin::engine
