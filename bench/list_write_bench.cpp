// What the HTML list costs the disk while calls come and go: virtual hours of random calls on 16
// lines (4 units streaming mode-3 audio, 8000 bytes a second per talking line), run tick by tick
// through the engine's poll tick on a virtual clock. Reported: every byte the process wrote
// (recordings, call log, list; counted at the one write call of the file module) over the bytes of
// audio kept in the recordings, the list's rows, and the longest and mean wall time of a tick and
// how many ticks took longer than 20 ms and than a poll period.
// Args: virtual seconds, rows already in the list when the run starts.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/file_io.h"
#include "base/prompt.h"
#include "device/digit_code.h"
#include "device/stream_framing.h"
#include "engine/engine.h"
#include "engine/html_list.h"
#include "sim/random_calls.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"

namespace {

using namespace parvolin;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kTickMs = 65;
constexpr std::int64_t kBlockMs = 64;  // 512 bytes at 8000 bytes a second
constexpr std::uint32_t kStartEpoch = 1'800'000'000;

std::atomic<std::uint64_t> g_written{0};

ssize_t countingWrite(int fd, const void* data, std::size_t size) {
  const ssize_t n = ::write(fd, data, size);
  if (n > 0) g_written += std::uint64_t(n);
  return n;
}

// One port's random calls as stream records, due by scenario time.
class PortScript {
 public:
  PortScript(int port, std::int64_t untilMs)
      : port_(port), player_(std::uint32_t(1000 + port), port, 0, untilMs) {}

  // Appends the records due by `nowMs`, in time order, to `out`.
  void take(std::int64_t nowMs, Bytes& out) {
    for (;;) {
      if (events_.empty() && !player_.finished()) {
        const std::vector<sim::SimEvent> call = player_.takeNextCall(false);
        events_.assign(call.begin(), call.end());
      }
      const std::int64_t eventAt = events_.empty() ? INT64_MAX : events_.front().atMs;
      const std::int64_t blockAt = nextBlockMs_ < talkUntilMs_ ? nextBlockMs_ : INT64_MAX;
      const std::int64_t next = std::min(eventAt, blockAt);
      if (next > nowMs || next == INT64_MAX) return;
      if (blockAt <= eventAt) {
        record(out, device::kAudioEvent, Bytes(512, std::uint8_t(0x10 + (nextBlockMs_ / 64) % 64)));
        nextBlockMs_ += kBlockMs;
        continue;
      }
      const sim::SimEvent e = events_.front();
      events_.pop_front();
      act(e, out);
    }
  }

 private:
  void record(Bytes& out, std::uint8_t code, const Bytes& payload = {}) {
    out.push_back(std::uint8_t(port_ % 4));
    out.push_back(code);
    Bytes p = payload;
    p.resize(device::payloadLengthFor(code), 0);
    out.insert(out.end(), p.begin(), p.end());
  }
  void act(const sim::SimEvent& e, Bytes& out) {
    using K = sim::SimEvent::Kind;
    Bytes payload(32, 0);
    switch (e.kind) {
      case K::Ring:
        record(out, device::kRingEvent);
        break;
      case K::CallerId:
        // The scenario's reader let through only digits that pack (here and below).
        static_cast<void>(device::packDigits(e.digits, device::DigitTable::A,
                                             device::kCallerNumberOffset,
                                             device::kCallerNumberDigits, payload));
        record(out, device::kCallerIdA, payload);
        break;
      case K::Answer:
        record(out, device::kAnsweringEvent);
        break;
      case K::DialOut:
        record(out, device::kDialOutEvent);
        break;
      case K::Digit:
        record(out, device::kDigitEvent, {std::uint8_t(e.value)});
        break;
      case K::Talk:
        nextBlockMs_ = e.atMs;
        talkUntilMs_ = e.atMs + e.durationMs;
        break;
      case K::CallEnd:
        static_cast<void>(device::packDigits(e.digits, device::DigitTable::A,
                                             device::kCallerNumberOffset,
                                             device::kCallerNumberDigits, payload));
        record(out, device::kCallEndEvent, payload);
        talkUntilMs_ = 0;
        break;
      case K::CalloutEnd:
      case K::VarEnd:
        static_cast<void>(device::packDigits(e.digits, device::DigitTable::B,
                                             device::kDialledNumberOffset,
                                             device::kDialledNumberDigits, payload));
        record(out, e.kind == K::CalloutEnd ? device::kCalloutEndEvent : device::kVarEndEvent,
               payload);
        talkUntilMs_ = 0;
        break;
      case K::VarStart:
        record(out, device::kVarStartEvent);
        break;
      default:
        break;
    }
  }

  int port_;
  sim::RandomCallPlayer player_;
  std::deque<sim::SimEvent> events_;
  std::int64_t nextBlockMs_ = 0;
  std::int64_t talkUntilMs_ = 0;
};

// Four units whose reads bring what their ports' scripts produced up to the clock's present.
class ScriptedUnits final : public engine::UnitStreams {
 public:
  ScriptedUnits(base::VirtualClock& clock, std::int64_t untilMs) : clock_(clock) {
    for (int p = 0; p < 16; ++p) ports_.emplace_back(p, untilMs);
  }
  bool isListed(int) const override { return true; }
  bool isPresent(int) const override { return true; }
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit) override {
    Bytes& queue = queued_[std::size_t(unit)];
    if (queue.size() < n) {
      const std::int64_t now = clock_.monotonicMs() - originMs_;
      for (int p = 0; p < 4; ++p) ports_[std::size_t(unit * 4 + p)].take(now, queue);
    }
    const std::size_t take = std::min<std::size_t>(n, queue.size());
    std::copy_n(queue.begin(), take, buffer);
    queue.erase(queue.begin(), queue.begin() + long(take));
    return std::uint32_t(take);
  }
  bool reopenUnit(int) override { return true; }
  void restartStream(int) override {}
  std::optional<std::uint8_t> readStreamControl(int) override { return 0x4D; }

  std::int64_t originMs_ = 0;

 private:
  base::VirtualClock& clock_;
  std::vector<PortScript> ports_;
  std::array<Bytes, 4> queued_;
};

std::string listOfRows(int rows) {
  std::mt19937 random(7);
  std::string body;
  for (int item = rows; item >= 1; --item) {
    engine::CallRecord r;
    r.portIndex = std::uint8_t(random() % 16);
    r.callType = random() % 4 == 0 ? engine::kCallRinging : engine::kCallAnswered;
    r.startTime = kStartEpoch - 86400 * 30 + std::uint32_t(item) * 120;
    r.durationSec = std::uint16_t(random() % 300);
    body += engine::htmlRow(r, 3, false, item);
  }
  return std::string(engine::kHtmlHeader) + body;
}

void BM_RandomCallsOn16Lines(benchmark::State& state) {
  const std::int64_t virtualMs = state.range(0) * 1000;
  const int startRows = int(state.range(1));
  const auto folder = std::filesystem::temp_directory_path() /
                      ("pv-list-write-bench-" + std::to_string(::getpid()));
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    if (startRows != 0) {
      (void)base::replaceFileContents(folder / "ZEruTestNew.htm", listOfRows(startRows));
    }
    base::VirtualClock clock(std::int64_t(kStartEpoch) * 1000);
    engine::RecorderSettings settings;
    settings.parvolinSetting = engine::kHtmlListOn | engine::kLvFormat;
    engine::NullEngineView view;
    test::NullDiagnostics diagnostics;
    test::ScriptedPrompt prompt;
    ScriptedUnits units(clock, virtualMs);
    units.originMs_ = clock.monotonicMs();

    base::detail::replaceWriteCall(countingWrite);
    g_written = 0;
    double longestMs = 0, totalMs = 0;
    std::int64_t ticks = 0, over20 = 0, over65 = 0;
    {
      engine::Engine engine(units, clock, settings, folder, view, diagnostics, prompt);
      engine.resetPorts();
      for (int u = 0; u < 4; ++u) engine.setVarOffDelay(u, 4);
      engine.recountCapacity();
      for (std::int64_t t = 0; t < virtualMs + sim::kLongestRandomCallMs; t += kTickMs) {
        clock.advanceMs(kTickMs);
        const auto start = std::chrono::steady_clock::now();
        engine.onPollTick();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        longestMs = std::max(longestMs, ms);
        over20 += ms > 20 ? 1 : 0;
        over65 += ms > 65 ? 1 : 0;
        totalMs += ms;
        ++ticks;
      }
      engine.finishRun();
    }
    const std::uint64_t written = g_written;
    base::detail::replaceWriteCall(nullptr);

    std::uint64_t audio = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() == ".LV3") audio += e.file_size();
    }
    std::string list;
    (void)base::readWholeFile(folder / "ZEruTestNew.htm", list);
    const std::size_t rows = std::size_t(std::count(list.begin(), list.end(), '\n')) - 6;
    state.counters["written_MB"] = double(written) / 1e6;
    state.counters["audio_MB"] = double(audio) / 1e6;
    state.counters["written_per_audio"] = audio ? double(written) / double(audio) : 0;
    state.counters["rows"] = double(rows);
    state.counters["new_rows"] = double(rows) - startRows;
    state.counters["longest_tick_ms"] = longestMs;
    state.counters["mean_tick_ms"] = totalMs / double(ticks);
    // Ticks longer than a poll period (65 ms), and than 20 ms.
    state.counters["ticks_over_65ms"] = double(over65);
    state.counters["ticks_over_20ms"] = double(over20);
  }
  std::filesystem::remove_all(folder);
}
// Eight virtual hours into a new folder; two into a folder whose list holds 20,000 rows.
BENCHMARK(BM_RandomCallsOn16Lines)
    ->Args({8 * 3600, 0})
    ->Args({2 * 3600, 20000})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
