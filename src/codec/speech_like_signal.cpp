#include "codec/speech_like_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "codec/lv_format.h"

namespace parvolin::codec {

namespace {

class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  // Uniform in [0, 1).
  double next() {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) / 16777216.0;
  }

 private:
  std::uint32_t state_;
};

double formantGain(double hz, double f1, double f2) {
  auto peak = [](double f, double centre, double width) {
    const double d = (f - centre) / width;
    return 1.0 / (1.0 + d * d);
  };
  return 0.15 + peak(hz, f1, 120.0) + 0.6 * peak(hz, f2, 200.0);
}

}  // namespace

std::vector<std::int16_t> speechLikeSignal(std::size_t samples, std::uint32_t seed) {
  constexpr double kRate = kSamplesPerSecond;
  constexpr double kTwoPi = 2 * std::numbers::pi;
  std::vector<std::int16_t> out;
  out.reserve(samples);
  Random rnd(seed);
  double phase = 0;
  while (out.size() < samples) {
    // A syllable of 120-400 ms, then a pause of 40-300 ms.
    const auto voiced = static_cast<std::size_t>(kRate * (0.12 + 0.28 * rnd.next()));
    const auto pause = static_cast<std::size_t>(kRate * (0.04 + 0.26 * rnd.next()));
    const double loudness = 1500.0 + 9000.0 * rnd.next();
    const double pitchStart = 90.0 + 150.0 * rnd.next();
    const double pitchEnd = pitchStart * (0.8 + 0.4 * rnd.next());
    const double f1 = 300.0 + 600.0 * rnd.next();
    const double f2 = 900.0 + 1600.0 * rnd.next();
    for (std::size_t i = 0; i < voiced && out.size() < samples; ++i) {
      const double t = double(i) / double(voiced);
      const double pitch = pitchStart + (pitchEnd - pitchStart) * t;
      phase += kTwoPi * pitch / kRate;
      if (phase > kTwoPi) phase -= kTwoPi;
      double v = 0;
      for (int h = 1; h * pitch < 3400.0; ++h) {
        v += formantGain(h * pitch, f1, f2) * std::sin(h * phase) / std::sqrt(double(h));
      }
      const double envelope = std::sin(std::numbers::pi * t) * (0.7 + 0.3 * std::sin(9.0 * t));
      const double noise = (rnd.next() - 0.5) * 0.05;
      const double s = loudness * envelope * (v * 0.5 + noise);
      out.push_back(static_cast<std::int16_t>(std::clamp(s, -32000.0, 32000.0)));
    }
    for (std::size_t i = 0; i < pause && out.size() < samples; ++i) {
      out.push_back(static_cast<std::int16_t>((rnd.next() - 0.5) * 40.0));
    }
  }
  return out;
}

}  // namespace parvolin::codec
