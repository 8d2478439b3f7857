// How long a recovery takes on a large folder: a call log and a list of N calls, N recordings
// (small files: the recovery reads names and sizes, never audio), and what a kill leaves: the
// newest 200 calls' rows missing and 16 recordings without record or row. Reported per run:
// the recovery that puts them back, the one that then finds nothing (every start of the
// recorder), and a rebuild of the whole list.
// Args: calls in the folder.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"
#include "logview/folder_recovery.h"

namespace {

using namespace parvolin;
namespace fs = std::filesystem;

constexpr std::uint32_t kStart = 1'800'000'000;
constexpr int kRowsLost = 200;
constexpr int kCallsGoingOn = 16;

engine::CallRecord callNumber(int i) {
  engine::CallRecord r;
  r.portIndex = std::uint8_t(i % 16);
  r.callType = i % 5 == 0 ? engine::kCallRinging : engine::kCallAnswered;
  r.startTime = kStart + std::uint32_t(i) * 7;
  r.durationSec = r.isAnswered() ? std::uint16_t(30 + i % 200) : 0;
  r.firstAudioSec = r.isAnswered() ? 1 : 0;
  return r;
}

// A folder as a recorder that ran for `calls` calls and was then killed leaves it.
void makeFolder(const fs::path& folder, int calls) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::string log;
  std::string list(engine::kHtmlHeader);
  std::vector<std::string> rows;
  for (int i = 0; i < calls; ++i) {
    const engine::CallRecord r = callNumber(i);
    const auto bytes = engine::encodeCallRecord(r);
    log.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (i < calls - kRowsLost) rows.push_back(engine::htmlRow(r, 3, false, i + 1));
    if (r.isAnswered()) {
      base::FileHandle file;
      (void)base::createExclusive(
          folder / engine::recordingFileName(r.startTime, r.portIndex, 3, false), file);
      const std::string audio(512, '\x55');
      (void)base::writeAll(file.fd(), audio.data(), audio.size());
    }
  }
  std::reverse(rows.begin(), rows.end());
  for (const std::string& row : rows) list += row;
  (void)base::replaceFileContents(folder / engine::kCallLogName, log);
  (void)base::replaceFileContents(folder / "ZEruTestNew.htm", list);
  for (int p = 0; p < kCallsGoingOn; ++p) {
    const std::uint32_t start = kStart + std::uint32_t(calls) * 7 + std::uint32_t(p);
    base::FileHandle file;
    (void)base::createExclusive(folder / engine::recordingFileName(start, p, 1, false), file);
    const std::string audio(2000 * 12, '\x55');
    (void)base::writeAll(file.fd(), audio.data(), audio.size());
  }
}

fs::path benchFolder() {
  return fs::temp_directory_path() / ("parvolin-recovery-bench-" + std::to_string(::getpid()));
}

void BM_RecoverAfterKill(benchmark::State& state) {
  base::setDurabilityWaits(false);
  const fs::path folder = benchFolder();
  for (auto _ : state) {
    state.PauseTiming();
    makeFolder(folder, int(state.range(0)));
    state.ResumeTiming();
    const logview::RecoveryReport report = logview::recoverFolder(folder, {});
    benchmark::DoNotOptimize(report);
    if (report.rowsRestored.size() != kRowsLost || report.callsRecovered.size() != kCallsGoingOn) {
      state.SkipWithError("the recovery did not find what the kill left");
    }
  }
  fs::remove_all(folder);
}

void BM_RecoverNothingToDo(benchmark::State& state) {
  base::setDurabilityWaits(false);
  const fs::path folder = benchFolder();
  makeFolder(folder, int(state.range(0)));
  (void)logview::recoverFolder(folder, {});
  for (auto _ : state) {
    const logview::RecoveryReport report = logview::recoverFolder(folder, {});
    if (report.anythingFound()) state.SkipWithError("a second recovery found something");
  }
  fs::remove_all(folder);
}

void BM_RebuildList(benchmark::State& state) {
  base::setDurabilityWaits(false);
  const fs::path folder = benchFolder();
  logview::RecoveryOptions options;
  options.rebuildList = true;
  for (auto _ : state) {
    state.PauseTiming();
    makeFolder(folder, int(state.range(0)));
    state.ResumeTiming();
    const logview::RecoveryReport report = logview::recoverFolder(folder, options);
    if (!report.listRebuilt) state.SkipWithError("no rebuild");
  }
  fs::remove_all(folder);
}

// Making a folder of 65,000 calls takes far longer than recovering it: a few runs each.
BENCHMARK(BM_RecoverAfterKill)
    ->Arg(1'000)
    ->Arg(65'000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecoverNothingToDo)
    ->Arg(1'000)
    ->Arg(65'000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildList)->Arg(65'000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
