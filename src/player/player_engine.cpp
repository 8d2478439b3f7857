#include "player/player_engine.h"

#include <algorithm>
#include <new>
#include <optional>

#include "codec/lv_decoder.h"
#include "codec/lv_format.h"
#include "codec/wav_header.h"
#include "player/time_label.h"

namespace parvolin::player {

namespace {

// Sound decoded ahead of the position the output is handed: far more than the device takes
// ahead of what it plays, and decoded within milliseconds in every mode.
constexpr std::uint64_t kLeadSamples = 10 * kSamplesPerSecond;
// About one million samples a step: some milliseconds of decoding in the slowest mode.
constexpr std::size_t kStepSamples = std::size_t{1} << 20;
// The volume adjustment's piece: whole blocks of 2048 samples, a megabyte of 16-bit samples.
constexpr std::size_t kDavaPieceSamples = 256 * codec::kDavaBlockSamples;
// The slider counts samples in a signed 32-bit int: 74 hours.
constexpr std::uint64_t kMostSamples = 0x7fff'ffff;

template <class T>
std::unique_ptr<T[]> allocate(std::uint64_t count, std::uint64_t& budget) {
  const std::uint64_t bytes = count * sizeof(T);
  if (count > budget / sizeof(T)) return nullptr;
  std::unique_ptr<T[]> p(new (std::nothrow)
                             T[static_cast<std::size_t>(std::max<std::uint64_t>(count, 1))]);
  if (p) budget -= bytes;
  return p;
}

}  // namespace

// The recording while it is being decoded: it is read a step of whole audio blocks at a time,
// so that the player never holds a copy of the whole file, and the parts decode exactly as the
// whole file does.
struct PlayerEngine::Decoding {
  explicit Decoding(RecordingFile recording) : file(std::move(recording)) {}
  RecordingFile file;
  int mode = 0;
  std::uint64_t fileBytes = 0;  // the length when the file was opened
  std::uint64_t nextByte = 0;
  std::size_t stepBytes = 0;
  std::unique_ptr<std::uint8_t[]> bytes;    // one step's bytes
  std::unique_ptr<std::int16_t[]> samples;  // one step's samples
  std::size_t stepSamples = 0;
};

PlayerEngine::PlayerEngine(base::Clock& clock, base::Prompt& prompt, WaveOutput& output,
                           PlayerView& view, PlayerOptions options)
    : clock_(clock), prompt_(prompt), output_(output), view_(view), options_(std::move(options)) {}

PlayerEngine::~PlayerEngine() {
  output_.close();
}

bool PlayerEngine::loadAndStart(RecordingFile file, int mode) {
  if (mode < codec::kModeLinear8 || mode > codec::kModeLog8) mode = codec::kModeLinear8;
  std::uint64_t budget = options_.memoryLimitBytes;
  const std::uint64_t length = file.length();
  const std::uint64_t count = codec::sampleCountFor(length, mode);
  if (count <= kMostSamples) playBuffer_ = allocate<std::uint8_t>(count, budget);
  if (!playBuffer_) {
    prompt_.message(kNoMemoryForPlayingText, base::PromptIcon::Exclamation);
    return false;
  }

  const std::size_t perBlock = codec::samplesPerBlock(mode);
  const std::size_t blocks =
      static_cast<std::size_t>((length + codec::kAudioBlockSize - 1) / codec::kAudioBlockSize);
  const std::size_t blocksPerStep =
      std::clamp<std::size_t>(kStepSamples / perBlock, 1, std::max<std::size_t>(blocks, 1));
  auto decoding = std::make_unique<Decoding>(std::move(file));
  decoding->mode = mode;
  decoding->fileBytes = length;
  decoding->stepBytes = blocksPerStep * codec::kAudioBlockSize;
  decoding->stepSamples = blocksPerStep * perBlock;
  decoding->bytes = allocate<std::uint8_t>(decoding->stepBytes, budget);
  if (decoding->bytes) decoding->samples = allocate<std::int16_t>(decoding->stepSamples, budget);
  if (!decoding->samples) {
    prompt_.message(kNoMemoryForConversionText, base::PromptIcon::Exclamation);
    playBuffer_.reset();
    return false;
  }
  sampleCount_ = static_cast<std::uint32_t>(count);
  decoding_ = std::move(decoding);

  codec::resetDecoder(decoderState_, gain_);
  store_ = std::make_unique<SampleStore>(options_.storeFolder);
  decodeUpTo(kLeadSamples);
  if (unreadable_) {
    release();
    return false;
  }

  if (output_.open()) output_.play(playBuffer());
  lastTickMs_ = clock_.monotonicMs();
  elapsedMs_ = 0;
  paused_ = false;
  started_ = true;
  return true;
}

bool PlayerEngine::decodeMore() {
  if (!decoding_) return false;
  decodeUpTo(std::uint64_t{decoded_} + 1);
  return decoding_ != nullptr;
}

void PlayerEngine::decodeUpTo(std::uint64_t samples) {
  while (decoding_ && decoded_ < samples) {
    Decoding& d = *decoding_;
    const auto wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(d.stepBytes, d.fileBytes - std::min(d.fileBytes, d.nextByte)));
    const std::optional<std::size_t> read = d.file.readAt(d.nextByte, d.bytes.get(), wanted);
    // A file that cannot be read from its start is no recording to play.
    if (!read && d.nextByte == 0) unreadable_ = true;
    const std::size_t got = read.value_or(0);
    const std::span<std::int16_t> out(d.samples.get(), d.stepSamples);
    const std::size_t count = std::min<std::size_t>(
        codec::decodeLv({d.bytes.get(), got}, d.mode, decoderState_, out), sampleCount_ - decoded_);
    // A store that cannot keep the samples only costs the volume adjustment its starting point.
    static_cast<void>(store_->append(out.first(count)));
    std::uint8_t* sound = playBuffer_.get() + decoded_;
    for (std::size_t i = 0; i < count; ++i) sound[i] = codec::toUnsigned8(out[i]);
    decoded_ += static_cast<std::uint32_t>(count);
    d.nextByte += got;
    // A file that shrank since it was opened, or that cannot be read on, plays as far as it was
    // read; the rest of its length is silence.
    if (d.nextByte >= d.fileBytes || got < wanted) {
      if (decoded_ < sampleCount_) silenceTheRest();
      decoding_.reset();
    }
  }
}

void PlayerEngine::silenceTheRest() {
  Decoding& d = *decoding_;
  const std::span<std::int16_t> zeros(d.samples.get(), d.stepSamples);
  std::fill(zeros.begin(), zeros.end(), std::int16_t{0});
  std::fill(playBuffer_.get() + decoded_, playBuffer_.get() + sampleCount_, codec::toUnsigned8(0));
  while (decoded_ < sampleCount_) {
    const std::size_t count = std::min<std::size_t>(zeros.size(), sampleCount_ - decoded_);
    static_cast<void>(store_->append(zeros.first(count)));
    decoded_ += static_cast<std::uint32_t>(count);
  }
}

void PlayerEngine::finishDecoding() {
  decodeUpTo(sampleCount_);
}

void PlayerEngine::playFromElapsed() {
  const std::uint32_t start = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::uint64_t{elapsedMs_} * kSamplesPerMs, sampleCount_));
  decodeUpTo(std::uint64_t{start} + kLeadSamples);
  output_.play(playBuffer().subspan(start));
}

void PlayerEngine::tick() {
  if (!started_ || ended_) return;
  const bool dragging = view_.sliderDragged();
  if (dragging) output_.stop();
  const std::int64_t now = clock_.monotonicMs();
  if (!paused_) {
    elapsedMs_ += static_cast<std::uint32_t>(now - lastTickMs_);
    if (!dragging) view_.setSliderPosition(elapsedMs_ * kSamplesPerMs);
  }
  view_.setTimeText(dragging ? timeTextAtSample(view_.sliderPosition(), sampleCount_)
                             : timeTextAtMs(elapsedMs_, sampleCount_));
  lastTickMs_ = now;
  if (!dragging && elapsedMs_ >= sampleCount_ / kSamplesPerMs) endOfPlay();
}

void PlayerEngine::pausePlay() {
  if (!started_ || ended_) return;
  paused_ = !paused_;
  if (!paused_) {
    view_.showPlaying(true);
    playFromElapsed();
    lastTickMs_ = clock_.monotonicMs();
  } else {
    output_.stop();
    view_.showPlaying(false);
  }
}

void PlayerEngine::seekTo(std::uint32_t sliderSamples) {
  if (!started_ || ended_) return;
  output_.stop();
  elapsedMs_ = sliderSamples / kSamplesPerMs;
  if (!paused_) {
    playFromElapsed();
    lastTickMs_ = clock_.monotonicMs();
  }
}

void PlayerEngine::applyPlayerDava(int level) {
  if (!started_ || ended_) return;
  view_.hideDavaButtons();
  pausePlay();
  finishDecoding();
  codec::resetDecoder(decoderState_, gain_);

  // The adjustment runs over pieces of whole 2048-sample blocks read back from the store, so
  // that it needs no 16-bit copy of the whole sound.
  std::uint64_t budget =
      options_.memoryLimitBytes - std::min<std::uint64_t>(options_.memoryLimitBytes, sampleCount_);
  const std::size_t pieceSamples = std::min<std::size_t>(sampleCount_, kDavaPieceSamples);
  auto work = allocate<std::int16_t>(pieceSamples, budget);
  if (!work) {
    prompt_.message(kNoMemoryForConversionText, base::PromptIcon::Exclamation);
    ended_ = true;
    output_.close();
    release();
    view_.endPlayer();
    return;
  }
  // Without the unadjusted samples the sound stays as it is rather than being adjusted twice.
  const std::size_t meanSamples = std::min<std::size_t>(sampleCount_, codec::kDavaMeanSamples);
  if (store_->read(std::span(work.get(), meanSamples))) {
    const std::int32_t offset = codec::davaOffset(std::span(work.get(), meanSamples));
    for (std::size_t first = 0; first < sampleCount_; first += pieceSamples) {
      const std::span<std::int16_t> piece(
          work.get(), std::min<std::size_t>(pieceSamples, sampleCount_ - first));
      // A store that fails part-way leaves the rest of the sound unadjusted.
      if (!store_->read(piece, first)) break;
      codec::applyDavaWithOffset(piece, level, offset, gain_);
      for (std::size_t i = 0; i < piece.size(); ++i)
        playBuffer_[first + i] = codec::toUnsigned8(piece[i]);
    }
  }
  work.reset();
  elapsedMs_ = 0;
  pausePlay();
}

void PlayerEngine::saveWavCopy(std::string_view playingFileName, codec::SaveNameDialog& dialog) {
  if (!started_ || ended_) return;
  finishDecoding();
  if (!paused_) pausePlay();
  // The save shows its own outcome; playing goes on either way.
  static_cast<void>(codec::saveWavCopy(playingFileName, playBuffer(), dialog, prompt_,
                                       options_.refuseSaveTarget));
  if (ended_) return;
  paused_ = true;
  pausePlay();
}

void PlayerEngine::stopAndExit() {
  if (ended_) return;
  ended_ = true;
  output_.close();
  release();
  view_.endPlayer();
}

void PlayerEngine::endOfPlay() {
  ended_ = true;
  // The clock may run ahead of the device: the last of the sound is played before the end.
  output_.drainAndClose();
  release();
  view_.endPlayer();
}

void PlayerEngine::release() {
  decoding_.reset();
  store_.reset();
  playBuffer_.reset();
  decoded_ = 0;
  sampleCount_ = 0;
}

}  // namespace parvolin::player
