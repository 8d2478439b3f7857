#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codec/decoder_state.h"
#include "codec/fake_save_dialog.h"
#include "codec/lv_decoder.h"
#include "codec/wav_copy.h"
#include "codec/wav_header.h"
#include "player/player_view.h"
#include "support/test_files.h"

namespace parvolin::player::test {

// A window that remembers what it was told and holds a slider the test can move.
class FakeView final : public PlayerView {
 public:
  void showPlaying(bool playing) override { playingIcon = playing; }
  void hideDavaButtons() override { davaButtonsHidden = true; }
  void setSliderPosition(std::uint32_t samples) override { slider = samples; }
  bool sliderDragged() const override { return dragging; }
  std::uint32_t sliderPosition() const override { return slider; }
  void setTimeText(const std::string& text) override { timeText = text; }
  void endPlayer() override { ended = true; }

  std::optional<bool> playingIcon;
  bool davaButtonsHidden = false;
  std::uint32_t slider = 0;
  bool dragging = false;
  std::string timeText;
  bool ended = false;
};

using codec::test::FakeSaveDialog;

inline std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// The samples of the whole recording decoded in one go.
inline std::vector<std::int16_t> decodeWhole(const std::vector<std::uint8_t>& file, int mode) {
  std::vector<std::int16_t> samples(codec::sampleCountFor(file.size(), mode));
  codec::DecoderState state;
  codec::decodeLv(file, mode, state, samples);
  return samples;
}

inline std::vector<std::uint8_t> toPcm8(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> pcm(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) pcm[i] = codec::toUnsigned8(samples[i]);
  return pcm;
}

}  // namespace parvolin::player::test
