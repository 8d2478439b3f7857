// A retention pass planned on a list of 65,536 rows with its call log of as many records: the
// reading of both files, the matching of every row with its record, the rule and the edit. The
// recorder plans one after kept calls that pass a figure of the rule and once an hour, on its
// poll tick. Goal: under 0.2 s, so that an hourly pass costs a few poll ticks at most.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/retention.h"

namespace {

using namespace parvolin;

constexpr int kRows = 65536;
constexpr std::uint32_t kFirstStart = 1'700'000'000;
constexpr std::uint32_t kGapSeconds = 480;  // a year of calls

struct BigFolder {
  BigFolder() {
    folder =
        std::filesystem::temp_directory_path() / ("retention_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::mt19937 random(42);
    std::vector<engine::ListRowCall> calls;
    for (int i = 0; i < kRows; ++i) {
      engine::CallRecord r;
      r.portIndex = std::uint8_t(random() % 16);
      r.callType = random() % 4 == 0 ? engine::kCallRinging : engine::kCallAnswered;
      r.startTime = kFirstStart + std::uint32_t(i) * kGapSeconds;
      r.durationSec = std::uint16_t(random() % 900);
      r.firstAudioSec = r.callType == engine::kCallAnswered ? 1 : 0;
      const std::string number = std::to_string(5550000 + random() % 10000);
      for (std::size_t c = 0; c < number.size(); ++c) r.callText[c] = number[c];
      log.push_back(r);
      calls.push_back({r, 3, false});
    }
    std::int32_t rowCount = -1;
    if (engine::appendHtmlRows(folder / "list.htm", calls, rowCount)) std::abort();
    std::string records;
    for (const engine::CallRecord& r : log) {
      const auto bytes = engine::encodeCallRecord(r);
      records.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    if (base::replaceFileContents(folder / engine::kCallLogName, records)) std::abort();
  }
  ~BigFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::filesystem::path folder;
  std::vector<engine::CallRecord> log;
};

BigFolder& bigFolder() {
  static BigFolder folder;
  return folder;
}

// Days that let `share` of the year go.
engine::RetentionRule daysLetting(double share) {
  const double span = double(kRows) * kGapSeconds;
  engine::RetentionRule rule;
  rule.days = int((1.0 - share) * span / 86'400.0);
  return rule;
}

void planPass(benchmark::State& state, double share) {
  BigFolder& big = bigFolder();
  const engine::RetentionFigures figures{kFirstStart + std::int64_t(kRows) * kGapSeconds, 0, {}};
  std::size_t gone = 0;
  for (auto _ : state) {
    // As the recorder's pass: the list and the call log read, then the plan made.
    std::string list;
    engine::CallLogContents log;
    if (base::readWholeFile(big.folder / "list.htm", list) ||
        engine::readCallLog(big.folder / engine::kCallLogName, log)) {
      std::abort();
    }
    const engine::RetentionPlan plan =
        engine::planRetention(list, log.records, big.folder, {}, daysLetting(share), figures);
    gone = plan.items.size();
    benchmark::DoNotOptimize(plan.edit);
  }
  state.counters["rows"] = kRows;
  state.counters["deleted"] = double(gone);
}

void BM_RetentionPassDeletingNothing(benchmark::State& state) {
  planPass(state, 0.0);
}
void BM_RetentionPassDeletingATenth(benchmark::State& state) {
  planPass(state, 0.1);
}
BENCHMARK(BM_RetentionPassDeletingNothing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetentionPassDeletingATenth)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
