// The emulated units' speech-like signal, per sample: the table-driven synthesizer the units use
// against the same signal with a sine per sample for each partial and the envelope (how it was
// made before), on the same seed. Goal: at least 10 times faster. Counters: samples per second.
//   build/bench/speech_signal_bench
// Instruction counts, steadier on a busy machine:
//   valgrind --tool=callgrind build/bench/speech_signal_bench --benchmark_filter=Table ...

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <span>
#include <vector>

#include "codec/lv_format.h"
#include "sim/audio_source.h"

namespace {

using namespace parvolin;

// The signal as it was made with a sine per sample: the same segments and partials.
class SineEverySample {
 public:
  explicit SineEverySample(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
    if (state_ == 0) state_ = 1;
    f0_ = uniform(95, 210);
    startSegment();
  }
  void fill(std::span<std::int16_t> samples) {
    for (std::int16_t& s : samples) {
      if (position_ >= length_) startSegment();
      double v = 0;
      if (voiced_) {
        const double envelope = std::sin(std::numbers::pi * position_ / length_);
        const double glottal = 0.55 + 0.45 * std::sin(phase0_);
        v = level_ * envelope * glottal *
            (0.6 * std::sin(phase1_) + 0.3 * std::sin(phase2_) + 0.1 * std::sin(phase3_));
        advance(phase0_, f0_);
        advance(phase1_, f1_);
        advance(phase2_, f2_);
        advance(phase3_, f3_);
      }
      s = static_cast<std::int16_t>(std::lround(v));
      ++position_;
    }
  }

 private:
  static void advance(double& phase, double hz) {
    phase += 2 * std::numbers::pi * hz / codec::kSamplesPerSecond;
    if (phase > 2 * std::numbers::pi) phase -= 2 * std::numbers::pi;
  }
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  double uniform(double lo, double hi) { return lo + (hi - lo) * (next() / 4294967296.0); }
  void startSegment() {
    position_ = 0;
    if (voiced_ || syllablesLeft_ == 0) {
      const bool phraseEnd = syllablesLeft_ == 0;
      voiced_ = false;
      length_ = static_cast<std::int64_t>((phraseEnd ? uniform(0.3, 0.9) : uniform(0.03, 0.12)) *
                                          codec::kSamplesPerSecond);
      if (phraseEnd) syllablesLeft_ = static_cast<int>(uniform(3, 12));
      return;
    }
    voiced_ = true;
    --syllablesLeft_;
    length_ = static_cast<std::int64_t>(uniform(0.12, 0.32) * codec::kSamplesPerSecond);
    f1_ = uniform(300, 850);
    f2_ = uniform(900, 2300);
    f3_ = uniform(2400, 3200);
    level_ = uniform(5000, 11000);
  }

  std::uint32_t state_;
  bool voiced_ = false;
  int syllablesLeft_ = 0;
  std::int64_t position_ = 0, length_ = 0;
  double f0_ = 0, f1_ = 0, f2_ = 0, f3_ = 0, level_ = 0;
  double phase0_ = 0, phase1_ = 0, phase2_ = 0, phase3_ = 0;
};

// One minute of signal in the units' blocks of 2048 samples.
template <class Source>
void fillMinute(benchmark::State& state) {
  Source source(5);
  std::vector<std::int16_t> block(2048);
  constexpr int kBlocks = 60 * 8000 / 2048;
  for (auto _ : state) {
    for (int i = 0; i < kBlocks; ++i) source.fill(block);
    benchmark::DoNotOptimize(block.data());
  }
  state.counters["samples/s"] =
      benchmark::Counter(double(state.iterations()) * kBlocks * 2048, benchmark::Counter::kIsRate);
}

void BM_Table(benchmark::State& state) {
  fillMinute<sim::SpeechSynth>(state);
}
void BM_SineEverySample(benchmark::State& state) {
  fillMinute<SineEverySample>(state);
}
BENCHMARK(BM_Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SineEverySample)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
