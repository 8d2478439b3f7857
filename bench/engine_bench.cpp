// Throughput of the recording engine: 16 ports of mode-3 audio (8000 bytes a second each) fed
// as stream reads, and the CPU time of one poll tick at full load.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <vector>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/engine.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"

namespace {

using namespace parvolin;
using Bytes = std::vector<std::uint8_t>;

constexpr int kBlocksPerPortSecond = 16;  // 8000 bytes a second, rounded up to whole blocks
constexpr int kTickCallSeconds = 60;

void append(Bytes& out, int port, std::uint8_t code, std::size_t payload, std::uint8_t fill = 0) {
  out.push_back(std::uint8_t(port));
  out.push_back(code);
  out.insert(out.end(), payload, fill);
}

// One unit's stream for a call of `callSeconds` on each of its four ports: answer, interleaved
// audio, end.
Bytes unitCallStream(int callSeconds) {
  Bytes s;
  for (int p = 0; p < 4; ++p) append(s, p, device::kAnsweringEvent, 0);
  for (int b = 0; b < callSeconds * kBlocksPerPortSecond; ++b) {
    for (int p = 0; p < 4; ++p) append(s, p, device::kAudioEvent, 512, std::uint8_t(b));
  }
  for (int p = 0; p < 4; ++p) append(s, p, device::kCallEndEvent, 32);
  return s;
}

std::filesystem::path benchFolder() {
  const auto folder =
      std::filesystem::temp_directory_path() / ("pv-engine-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

struct Rig {
  Rig() : folder(benchFolder()) {
    settings.parvolinSetting = engine::kHtmlListOn | engine::kLvFormat;
    engine =
        std::make_unique<engine::Engine>(units, clock, settings, folder, view, diagnostics, prompt);
    engine->resetPorts();
    engine->recountCapacity();
  }
  ~Rig() {
    engine.reset();
    std::filesystem::remove_all(folder);
  }
  void clearRecordings() {
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() == ".LV3") std::filesystem::remove(e.path());
    }
  }

  std::filesystem::path folder;
  base::VirtualClock clock;
  engine::RecorderSettings settings;
  engine::NullEngineView view;
  test::NullDiagnostics diagnostics;
  test::ScriptedPrompt prompt;
  engine::NoUnitStreams units;
  std::unique_ptr<engine::Engine> engine;
};

// Seconds of 16-port audio processed per second of wall time ("x_realtime"), in calls of
// state.range(0) seconds that all end together, in one tick (whose end rewrites the list
// durably, once for the 16 rows).
void BM_SixteenPortsMode3(benchmark::State& state) {
  Rig rig;
  const int callSeconds = int(state.range(0));
  const Bytes stream = unitCallStream(callSeconds);
  std::int64_t now = 1'700'000'000;
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += 2048) {
      const std::size_t n = std::min<std::size_t>(2048, stream.size() - at);
      for (int unit = 0; unit < 4; ++unit) {
        rig.engine->processRead(unit, {stream.data() + at, n}, now + std::int64_t(at / 32768));
      }
      // The end of a poll tick: the rows of the calls kept in it are written.
      rig.engine->retryDeferredWrites();
    }
    now += callSeconds + 1;
    state.PauseTiming();
    rig.clearRecordings();
    state.ResumeTiming();
  }
  state.counters["x_realtime"] =
      benchmark::Counter(double(state.iterations()) * callSeconds, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(stream.size()) * 4);
}
BENCHMARK(BM_SixteenPortsMode3)->Arg(60)->Arg(180)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reads that always bring a full 65 ms tick's worth of a unit's stream.
class FullLoadUnits final : public engine::UnitStreams {
 public:
  FullLoadUnits() : stream_(unitCallStream(kTickCallSeconds)) {}
  bool isListed(int) const override { return true; }
  bool isPresent(int) const override { return true; }
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit) override {
    // 4 ports x 8000 bytes/s x 65 ms, plus record heads: about 2090 bytes a tick.
    constexpr std::size_t kTickBytes = 2090;
    std::size_t& owed = owed_[std::size_t(unit)];
    if (owed == 0) owed = kTickBytes;
    std::size_t& at = at_[std::size_t(unit)];
    const std::size_t take = std::min<std::size_t>({n, owed, stream_.size() - at});
    std::copy_n(stream_.begin() + long(at), take, buffer);
    at = (at + take) % stream_.size();
    owed -= take;
    if (take < n) owed = 0;  // the next pass starts a new tick
    return std::uint32_t(take);
  }
  bool reopenUnit(int) override { return true; }
  void restartStream(int) override {}
  std::optional<std::uint8_t> readStreamControl(int) override { return 0x4D; }

 private:
  Bytes stream_;
  std::array<std::size_t, 4> at_{}, owed_{};
};

// CPU time of one poll tick with four units streaming four ports of audio each.
void BM_FullLoadTick(benchmark::State& state) {
  const auto folder = benchFolder();
  base::VirtualClock clock;
  engine::RecorderSettings settings;
  engine::NullEngineView view;
  test::NullDiagnostics diagnostics;
  test::ScriptedPrompt prompt;
  FullLoadUnits units;
  {
    engine::Engine engine(units, clock, settings, folder, view, diagnostics, prompt);
    int ticks = 0;
    for (auto _ : state) {
      clock.advanceMs(65);
      engine.onPollTick();
      if (++ticks % 2000 == 0) {
        state.PauseTiming();
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
          if (e.path().extension() == ".LV3") std::filesystem::remove(e.path());
        }
        state.ResumeTiming();
      }
    }
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FullLoadTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
