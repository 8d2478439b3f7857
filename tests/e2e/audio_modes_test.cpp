// Emulated units in every audio mode record a call of a steady tone; the recordings, decoded as
// the player and pvtool convert decode them, give the tone back. With WAV recording on, the
// call is an 8-bit WAV file of the same samples.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "codec/lv_decoder.h"
#include "codec/wav_header.h"
#include "engine/capture_replay.h"
#include "engine/engine_harness.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"
#include "tools/sim_units.h"

namespace parvolin::engine::test {
namespace {

constexpr double kToneHz = 700;
constexpr int kSampleRate = 8000;

// Signal-to-noise ratio of `samples` against the best-fitting tone of kToneHz, in dB.
double toneSnrDb(std::span<const std::int16_t> samples) {
  std::complex<double> sum;
  for (std::size_t n = 0; n < samples.size(); ++n) {
    sum += double(samples[n]) * std::polar(1.0, -2 * std::numbers::pi * kToneHz * n / kSampleRate);
  }
  const std::complex<double> c = sum * 2.0 / double(samples.size());
  double signal = 0, noise = 0;
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double fit =
        std::abs(c) * std::cos(2 * std::numbers::pi * kToneHz * n / kSampleRate + std::arg(c));
    signal += fit * fit;
    noise += (samples[n] - fit) * (samples[n] - fit);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

// Runs one unit per listed mode, each with a 10-second tone call on its first port, and returns
// the recording folder's files.
std::map<std::string, std::string> recordToneCalls(const std::vector<int>& modes,
                                                   std::uint32_t setting, TempFolder& folder) {
  std::string text;
  for (std::size_t u = 0; u < modes.size(); ++u) {
    text += "unit T" + std::to_string(u) + " mode=" + std::to_string(modes[u]) + "\n";
  }
  for (std::size_t u = 1; u <= modes.size(); ++u) {
    const std::string port = std::to_string(u) + "/1";
    text += "1 " + port + " ring\n1.5 " + port + " answer\n1.5 " + port + " talk 10 tone:700\n";
    text += "11.5 " + port + " callend 0551234\n";
  }
  std::string error;
  auto scenario = sim::parseScenario(text, "tones", ".", error);
  EXPECT_TRUE(scenario) << error;
  base::VirtualClock clock;
  sim::SimD2xx d2xx(*scenario, clock);
  device::UnitLink link(d2xx, clock);
  const tools::UnitsSetUp setUp = tools::setUpUnits(link, clock);
  RecorderSettings settings;
  settings.parvolinSetting = setting;
  applyCapturedSetUp(setUp.header, settings);
  RememberingView view;
  parvolin::test::CollectingDiagnostics diagnostics;
  parvolin::test::ScriptedPrompt prompt;
  {
    Engine engine(link, clock, settings, folder.path(), view, diagnostics, prompt);
    engine.resetPorts();
    for (int u = 0; u < 4; ++u) {
      engine.setAudioMode(u, setUp.header.units[std::size_t(u)].audioMode);
    }
    engine.recountCapacity();
    for (int tick = 0; tick * setUp.pollPeriodMs < 14'000; ++tick) {
      clock.advanceMs(setUp.pollPeriodMs);
      engine.onPollTick();
    }
  }
  EXPECT_TRUE(diagnostics.lines.empty()) << diagnostics.lines.front();
  return folderContents(folder.path());
}

TEST(AudioModesEndToEnd, EveryModeRecordsTheToneTheUnitHeard) {
  struct Case {
    int mode;
    double minSnrDb;  // measured: mode 0 35.6 dB, mode 1 24.4, mode 2 31.2, mode 3 37.8
  };
  const Case cases[] = {{0, 33}, {1, 22}, {2, 28}, {3, 35}};
  TempFolder folder;
  const auto files =
      recordToneCalls({0, 1, 2, 3}, kLvFormat | kKeepShortCalls | kHtmlListOn, folder);
  int recordings = 0;
  for (const Case& c : cases) {
    for (const auto& [name, data] : files) {
      if (!name.ends_with(".LV" + std::to_string(c.mode))) continue;
      ++recordings;
      SCOPED_TRACE(name);
      codec::DecoderState state;
      codec::DavaGainState gain;
      codec::resetDecoder(state, gain);
      const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
      std::vector<std::int16_t> samples(codec::sampleCountFor(data.size(), c.mode));
      ASSERT_EQ(codec::decodeLv(bytes, c.mode, state, samples), samples.size());
      EXPECT_NEAR(double(samples.size()), 10.0 * kSampleRate, 2048);
      // Skip the first second, where the ADPCM step size is still adapting.
      const double snr = toneSnrDb(std::span(samples).subspan(kSampleRate, 8 * kSampleRate));
      EXPECT_GT(snr, c.minSnrDb) << "mode " << c.mode << ": " << snr;
    }
  }
  EXPECT_EQ(recordings, 4);
}

TEST(AudioModesEndToEnd, WavRecordingIsAnEightBitWaveOfTheCall) {
  TempFolder folder;
  const auto files = recordToneCalls({3}, kWavFormat | kKeepShortCalls | kHtmlListOn, folder);
  int wavs = 0;
  for (const auto& [name, data] : files) {
    if (!name.ends_with(".WAV")) continue;
    ++wavs;
    ASSERT_GT(data.size(), codec::kWavHeaderSize);
    EXPECT_EQ(data.substr(0, 4), "RIFF");
    EXPECT_EQ(data.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ((data.size() - codec::kWavHeaderSize) % 512, 0u) << "one byte per recorded sample";
    std::vector<std::int16_t> samples;
    for (std::size_t i = codec::kWavHeaderSize; i < data.size(); ++i) {
      samples.push_back(std::int16_t((std::uint8_t(data[i]) - 128) * 256));
    }
    EXPECT_GT(toneSnrDb(std::span(samples).subspan(kSampleRate, 8 * kSampleRate)), 30);
  }
  EXPECT_EQ(wavs, 1);
  EXPECT_NE(files.at("ZEruTestNew.htm").find(".WAV\">Play</A>"), std::string::npos);
}

}  // namespace
}  // namespace parvolin::engine::test
