// The player's start: time from opening a one-hour recording to the first sound handed to the
// output, per audio mode, and the decoder alone on the same recordings. Each start is checked
// once to give, when decoded to its end, exactly the sound of the whole file decoded at once.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/prompt.h"
#include "codec/lv_decoder.h"
#include "codec/wav_header.h"
#include "player/player_engine.h"
#include "player/silent_wave_output.h"
#include "support/scripted_prompt.h"

namespace parvolin::bench {
namespace {

constexpr std::uint64_t kHourSamples = 3600ull * codec::kSamplesPerSecond;

class NullView final : public player::PlayerView {
 public:
  void showPlaying(bool) override {}
  void hideDavaButtons() override {}
  void setSliderPosition(std::uint32_t) override {}
  bool sliderDragged() const override { return false; }
  std::uint32_t sliderPosition() const override { return 0; }
  void setTimeText(const std::string&) override {}
  void endPlayer() override {}
};

// One hour of random codes in `mode`, whole blocks, written once into the temporary folder.
struct HourRecording {
  explicit HourRecording(int mode) {
    const std::uint64_t blocks =
        (kHourSamples + codec::samplesPerBlock(mode) - 1) / codec::samplesPerBlock(mode);
    bytes.resize(blocks * codec::kAudioBlockSize);
    std::mt19937 random(static_cast<unsigned>(mode) + 1);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    path = std::filesystem::temp_directory_path() /
           ("parvolin-bench-" + std::to_string(::getpid()) + ".LV" + std::to_string(mode));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  ~HourRecording() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  std::vector<std::uint8_t> bytes;
  std::filesystem::path path;
};

const HourRecording& hour(int mode) {
  static const HourRecording recordings[] = {HourRecording(0), HourRecording(1), HourRecording(2),
                                             HourRecording(3)};
  return recordings[mode];
}

std::vector<std::int16_t> decodeWhole(const std::vector<std::uint8_t>& bytes, int mode) {
  std::vector<std::int16_t> samples(codec::sampleCountFor(bytes.size(), mode));
  codec::DecoderState state;
  codec::decodeLv(bytes, mode, state, samples);
  return samples;
}

void BM_StartToFirstSound(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const HourRecording& recording = hour(mode);
  base::SystemClock clock;
  test::ScriptedPrompt prompt;
  NullView view;
  bool checked = false;
  for (auto _ : state) {
    player::SilentWaveOutput output(prompt);
    player::PlayerEngine engine(clock, prompt, output, view);
    const auto begin = std::chrono::steady_clock::now();
    auto file = player::RecordingFile::open(recording.path);
    if (!file || !engine.loadAndStart(std::move(*file), mode) || output.written.empty()) {
      state.SkipWithError("the player did not start");
      return;
    }
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    if (!checked) {
      while (engine.decodeMore()) {
      }
      const auto whole = decodeWhole(recording.bytes, mode);
      const auto sound = engine.playBuffer();
      for (std::size_t i = 0; i < whole.size(); ++i) {
        if (sound[i] != codec::toUnsigned8(whole[i])) {
          state.SkipWithError("the sound differs from the whole file decoded at once");
          return;
        }
      }
      checked = true;
    }
  }
}
BENCHMARK(BM_StartToFirstSound)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond);

// All of the decoding a start leaves for while the sound plays, step by step as the window runs
// it: the whole work the player does for a recording.
// Starts `recording` and decodes it to its end as the window runs the player; the samples
// decoded, or nothing when it could not be played.
std::optional<std::size_t> playWhole(const HourRecording& recording, int mode) {
  base::SystemClock clock;
  test::ScriptedPrompt prompt;
  NullView view;
  player::SilentWaveOutput output(prompt);
  player::PlayerEngine engine(clock, prompt, output, view);
  if (!engine.loadAndStart(std::move(*player::RecordingFile::open(recording.path)), mode)) {
    return std::nullopt;
  }
  while (engine.decodeMore()) {
  }
  benchmark::DoNotOptimize(engine.playBuffer().data());
  return engine.sampleCount();
}

void BM_StartAndDecodeToTheEnd(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const HourRecording& recording = hour(mode);
  for (auto _ : state) {
    if (!playWhole(recording, mode)) {
      state.SkipWithError("the recording could not be played");
      break;
    }
  }
}
BENCHMARK(BM_StartAndDecodeToTheEnd)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The process's resident memory in kB, as /proc/self/status gives it under `field`.
long residentKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// The most memory the player takes over the process's own for a whole play of a one-hour
// recording (start, then decoding to the end), against the decoded sound (one byte a sample).
// Run one mode per process (--benchmark_filter=PeakMemory/0 and so on): memory freed by an
// earlier run stays with the process and hides what a later one takes.
// Goal: at most 1.3 times the decoded sound. The peak is reset first (needs Linux 4.0 or later).
void BM_PeakMemory(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const HourRecording& recording = hour(mode);
  double peakMb = 0, soundMb = 0;
  for (auto _ : state) {
    if (!(std::ofstream("/proc/self/clear_refs") << "5")) {
      state.SkipWithError("the peak resident memory cannot be reset");
      return;
    }
    const long before = residentKb("VmRSS");
    const std::optional<std::size_t> samples = playWhole(recording, mode);
    if (!samples) {
      state.SkipWithError("the recording could not be played");
      return;
    }
    soundMb = double(*samples) / 1e6;
    peakMb = double(residentKb("VmHWM") - before) * 1024 / 1e6;
  }
  state.counters["peak_MB"] = peakMb;
  state.counters["sound_MB"] = soundMb;
  state.counters["peak_per_sound"] = soundMb > 0 ? peakMb / soundMb : 0;
}
BENCHMARK(BM_PeakMemory)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DecoderAlone(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const HourRecording& recording = hour(mode);
  std::vector<std::int16_t> samples(codec::sampleCountFor(recording.bytes.size(), mode));
  for (auto _ : state) {
    codec::DecoderState decoder;
    codec::decodeLv(recording.bytes, mode, decoder, samples);
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(samples.size()));
}
BENCHMARK(BM_DecoderAlone)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace parvolin::bench

BENCHMARK_MAIN();
