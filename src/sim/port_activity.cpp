#include "sim/port_activity.h"

#include "sim/audio_encoders.h"

namespace parvolin::sim {

void PortActivity::powerUp(int mode) {
  encoder_ = makeEncoder(mode);
  samples_.assign(encoder_->samplesPerBlock(), 0);
  talking_ = false;
  source_.reset();
}

void PortActivity::startTalk(std::int64_t atMs, std::int64_t durationMs,
                             const AudioSourceSpec& source) {
  if (!encoder_) powerUp(0);
  source_ = makeAudioSource(source);
  talking_ = durationMs > 0;
  talkStartMs_ = atMs;
  talkEndMs_ = atMs + durationMs;
  blocksDone_ = 0;
}

void PortActivity::endCall() {
  talking_ = false;
  source_.reset();
  if (encoder_) encoder_->reset();
}

std::int64_t PortActivity::nextBlockMs() const {
  if (!talking_) return kNever;
  // Block k is complete when (k + 1) blocks of samples have passed since the talk began.
  const auto samples = static_cast<std::int64_t>(encoder_->samplesPerBlock());
  const std::int64_t due =
      talkStartMs_ + (blocksDone_ + 1) * samples * 1000 / codec::kSamplesPerSecond;
  return due <= talkEndMs_ ? due : kNever;
}

void PortActivity::produceBlock(std::span<std::uint8_t, codec::kAudioBlockSize> block) {
  source_->fill(samples_);
  encoder_->encodeBlock(samples_, block);
  ++blocksDone_;
}

}  // namespace parvolin::sim
