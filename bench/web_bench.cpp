// The web server's core on a large folder: a list of 65,536 calls (the first page, a search and
// a sort by duration, each read afresh and from the kept rows) and a one-hour call's WAV made on
// the fly (its first 64 KiB, a whole pass, and 64 KiB in its middle after a pass). Goal: each
// page and each 64 KiB under 0.1 s.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "engine/call_record.h"
#include "engine/html_list.h"
#include "logview/list_table.h"
#include "web/call_list.h"
#include "web/recording_audio.h"

namespace {

using namespace parvolin;
namespace fs = std::filesystem;

constexpr int kRows = 65536;
constexpr std::size_t kHourSamples = 8000 * 3600;

// A folder of its own for the benchmark's files, removed at the end.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = (fs::temp_directory_path() / "web_bench.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

BenchFolder& folder() {
  static BenchFolder f;
  return f;
}

// kRows calls over a year on 16 ports, a quarter not answered, newest first.
const fs::path& bigList() {
  static const fs::path path = [] {
    std::mt19937 random(42);
    std::string body;
    const std::uint32_t start = 1'700'000'000;
    for (int item = kRows; item >= 1; --item) {
      engine::CallRecord r;
      r.portIndex = std::uint8_t(random() % 16);
      r.callType = random() % 4 == 0 ? engine::kCallRinging : engine::kCallAnswered;
      r.startTime = start + std::uint32_t(item) * 480;
      r.durationSec = std::uint16_t(random() % 900);
      const std::string number = std::to_string(5550000 + random() % 10000);
      for (std::size_t i = 0; i < number.size(); ++i) r.callText[i] = number[i];
      body += engine::htmlRow(r, 3, false, item);
    }
    const fs::path file = folder().path() / "list.htm";
    if (base::replaceFileContents(file, std::string(engine::kHtmlHeader) + body)) std::abort();
    return file;
  }();
  return path;
}

web::CallQuery searchQuery() {
  web::CallQuery query;
  query.text = "5551";
  query.from = "2023-12-01";
  query.to = "2024-06-30";
  return query;
}

web::CallQuery durationQuery() {
  web::CallQuery query;
  query.sort = web::CallQuery::Sort::kDuration;
  return query;
}

// Cold: the list read and its rows made as after a change of the list, then the query.
void runCold(benchmark::State& state, const web::CallQuery& query) {
  (void)bigList();  // written before the clock runs
  for (auto _ : state) {
    web::CallList list(bigList());
    benchmark::DoNotOptimize(list.query(query));
  }
}

// Warm: the rows kept from an earlier query, as between two changes of the list.
void runWarm(benchmark::State& state, const web::CallQuery& query) {
  web::CallList list(bigList());
  (void)list.query(query);
  for (auto _ : state) benchmark::DoNotOptimize(list.query(query));
}

void BM_FirstPageCold(benchmark::State& state) {
  runCold(state, {});
}
void BM_FirstPageWarm(benchmark::State& state) {
  runWarm(state, {});
}
void BM_SearchCold(benchmark::State& state) {
  runCold(state, searchQuery());
}
void BM_SearchWarm(benchmark::State& state) {
  runWarm(state, searchQuery());
}
void BM_SortByDurationCold(benchmark::State& state) {
  runCold(state, durationQuery());
}
void BM_SortByDurationWarm(benchmark::State& state) {
  runWarm(state, durationQuery());
}
BENCHMARK(BM_FirstPageCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPageWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByDurationCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByDurationWarm)->Unit(benchmark::kMillisecond);

// A one-hour recording in `mode` (random codes decode at the speed of speech).
std::string hourRecording(int mode) {
  static std::string names[4];
  std::string& name = names[mode];
  if (name.empty()) {
    std::uint64_t bytes = mode == 1   ? kHourSamples / 4
                          : mode == 2 ? kHourSamples * 32 / 85
                                      : kHourSamples;
    bytes = (bytes + 511) / 512 * 512;
    std::mt19937 random(7);
    std::vector<std::uint8_t> data(bytes);
    for (auto& b : data) b = std::uint8_t(random());
    name = "w6B49D200p" + std::to_string(mode) + ".LV" + std::to_string(mode);
    if (base::replaceFileContents(folder().path() / name, {std::span<const std::uint8_t>(data)}))
      std::abort();
  }
  return name;
}

constexpr std::size_t kRead = 64 * 1024;

void BM_AudioFirst64KiB(benchmark::State& state) {
  const int mode = int(state.range(0));
  const std::string name = hourRecording(mode);
  std::vector<std::uint8_t> out(kRead);
  for (auto _ : state) {
    std::string why;
    auto audio = web::RecordingAudio::open(folder().path(), name, 1, why);
    if (!audio || audio->readWav(0, out) != kRead) state.SkipWithError(why.c_str());
  }
}
BENCHMARK(BM_AudioFirst64KiB)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// The first reader that seeks to the middle walks there from the start (later ones do not).
void BM_AudioWholePass(benchmark::State& state) {
  const int mode = int(state.range(0));
  const std::string name = hourRecording(mode);
  std::vector<std::uint8_t> out(1 << 20);
  for (auto _ : state) {
    std::string why;
    // Another Dava level each round: a conversion nobody has walked yet.
    auto audio = web::RecordingAudio::open(folder().path(), name, int(state.iterations() % 3), why);
    for (std::uint64_t at = 0; audio && at < audio->wavSize(); at += out.size()) {
      benchmark::DoNotOptimize(audio->readWav(at, out));
    }
  }
}
BENCHMARK(BM_AudioWholePass)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AudioMiddle64KiBAfterAPass(benchmark::State& state) {
  const int mode = int(state.range(0));
  const std::string name = hourRecording(mode);
  std::vector<std::uint8_t> out(kRead);
  std::string why;
  {
    auto first = web::RecordingAudio::open(folder().path(), name, 1, why);
    (void)first->readWav(first->wavSize() - 10, out);
  }
  for (auto _ : state) {
    auto audio = web::RecordingAudio::open(folder().path(), name, 1, why);
    if (!audio || audio->readWav(audio->wavSize() / 2, out) != kRead) {
      state.SkipWithError(why.c_str());
    }
  }
}
BENCHMARK(BM_AudioMiddle64KiBAfterAPass)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {
// What a cold read costs before the web rows: the list read and parsed by the viewer's table.
void BM_ListTableLoad(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(parvolin::logview::ListTable::load(bigList()));
}
BENCHMARK(BM_ListTableLoad)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
