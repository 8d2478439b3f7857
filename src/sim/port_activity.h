#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "codec/audio_encoder.h"
#include "sim/audio_source.h"

namespace parvolin::sim {

inline constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// The audio side of one port of an emulated unit: while the port talks, a block of encoded audio
// is complete every samplesPerBlock() samples of line time (64 ms in modes 0 and 3, 256 ms in
// mode 1, 170 ms in mode 2). Only whole blocks leave the port; the part of a block that a talk
// ends in is never sent.
class PortActivity {
 public:
  // Takes the encoder of `mode` into use (at power-up) and stops any talk.
  void powerUp(int mode);
  // Talks from `atMs` for `durationMs` with the line audio of `source`. A talk that starts while
  // one runs replaces it; the encoder keeps its state within a call.
  void startTalk(std::int64_t atMs, std::int64_t durationMs, const AudioSourceSpec& source);
  // The call is over: no more audio, and the encoder starts afresh with the next call.
  void endCall();

  // When the next audio block is complete (scenario ms), or kNever.
  std::int64_t nextBlockMs() const;
  // Encodes the block that nextBlockMs() announced.
  void produceBlock(std::span<std::uint8_t, codec::kAudioBlockSize> block);

 private:
  std::unique_ptr<codec::AudioEncoder> encoder_;
  std::unique_ptr<AudioSource> source_;
  std::vector<std::int16_t> samples_;
  bool talking_ = false;
  std::int64_t talkStartMs_ = 0;
  std::int64_t talkEndMs_ = 0;
  std::int64_t blocksDone_ = 0;
};

}  // namespace parvolin::sim
