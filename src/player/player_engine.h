#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <span>
#include <string_view>

#include "base/clock.h"
#include "base/prompt.h"
#include "codec/dava.h"
#include "codec/decoder_state.h"
#include "codec/wav_copy.h"
#include "player/player_view.h"
#include "player/recording_file.h"
#include "player/sample_store.h"
#include "player/wave_output.h"

namespace parvolin::player {

inline constexpr std::string_view kNoMemoryForPlayingText = "Not enough memory for wave playing!";
inline constexpr std::string_view kNoMemoryForConversionText =
    "Not enough memory for wave data conversion!";
inline constexpr int kTickPeriodMs = 250;

struct PlayerOptions {
  // Where the sample store's unnamed file is made.
  std::filesystem::path storeFolder = std::filesystem::temp_directory_path();
  // The most memory the player's buffers may take; tests lower it to reach the out-of-memory
  // paths.
  std::size_t memoryLimitBytes = std::numeric_limits<std::size_t>::max();
  // The files "Wave file conversion" never writes (a recording folder's own); none when empty.
  codec::SaveTargetCheck refuseSaveTarget;
};

// Plays one recording. The whole file is decoded into 8-bit sound (the play buffer, handed to
// the output in one piece) and into a store of the unadjusted 16-bit samples; the file is read a
// step at a time as it is decoded, and stays open until it is read to its end. Only the first
// seconds are decoded before the sound starts; the window calls decodeMore() while the player
// is idle until the rest is done, and anything that needs sound not yet decoded (a seek, a
// resume, the volume adjustment, the WAV save) decodes it first. The sound is exactly the same
// as when the whole file is decoded at once.
//
// The position comes from the clock, not from the sound device: `elapsed` milliseconds, 8
// samples each. Pausing, seeking and the end of play work on that clock, with or without sound.
// Everything runs on the window's thread.
class PlayerEngine {
 public:
  PlayerEngine(base::Clock& clock, base::Prompt& prompt, WaveOutput& output, PlayerView& view,
               PlayerOptions options = {});
  ~PlayerEngine();
  PlayerEngine(const PlayerEngine&) = delete;
  PlayerEngine& operator=(const PlayerEngine&) = delete;

  // Takes the recording `file` in audio `mode` (0-3), starts the sound from the beginning (the
  // output's failures are shown by the output; the player then runs silently) and starts the
  // clock. The sound is as long as the file was when it was opened: a file that shrinks later
  // plays as far as it could be read, then silence. Returns false when the player must end:
  // "Not enough memory for wave playing!" or "Not enough memory for wave data conversion!" when
  // its buffers cannot be had, nothing when the file cannot be read.
  [[nodiscard]] bool loadAndStart(RecordingFile file, int mode);

  // Decodes the next part of the recording. Returns true while some of it is left.
  bool decodeMore();

  // Every 250 ms: brings the position up to date from the clock, moves the slider, shows the
  // time and ends the player at the end of the sound. While the user holds the slider the sound
  // is stopped and the label follows the slider.
  void tick();
  // Pause/Play. Resuming plays from the position of the last tick (rounded down to 8 samples).
  void pausePlay();
  // The user let go of the slider at `sliderSamples`: the position moves there (rounded down to
  // whole milliseconds) and a playing player plays on from it.
  void seekTo(std::uint32_t sliderSamples);
  // The volume adjustment at `level` (1 or 2), once per run: the unadjusted samples from the
  // store are adjusted into the play buffer, and the sound starts again from the beginning, or
  // stays paused at the beginning. Without memory for it: "Not enough memory for wave data
  // conversion!" and the player ends.
  void applyPlayerDava(int level);
  // The WAV save of the current sound (with the adjustment, if one was applied), named after
  // `playingFileName`. Pauses while the dialog is open and always plays afterwards.
  void saveWavCopy(std::string_view playingFileName, codec::SaveNameDialog& dialog);
  // Stop: the sound stops at once, everything is released and the window closes.
  void stopAndExit();

  std::uint32_t sampleCount() const { return sampleCount_; }
  std::uint32_t elapsedMs() const { return elapsedMs_; }
  bool paused() const { return paused_; }
  bool ended() const { return ended_; }
  bool decodingDone() const { return decoded_ == sampleCount_; }
  // The 8-bit sound of the whole recording (decoded so far).
  std::span<const std::uint8_t> playBuffer() const { return {playBuffer_.get(), sampleCount_}; }
  const SampleStore* sampleStore() const { return store_.get(); }

 private:
  struct Decoding;

  void playFromElapsed();
  void decodeUpTo(std::uint64_t samples);
  void silenceTheRest();
  void finishDecoding();
  void endOfPlay();
  void release();

  base::Clock& clock_;
  base::Prompt& prompt_;
  WaveOutput& output_;
  PlayerView& view_;
  PlayerOptions options_;

  std::uint32_t sampleCount_ = 0;
  std::unique_ptr<std::uint8_t[]> playBuffer_;
  std::unique_ptr<SampleStore> store_;
  std::unique_ptr<Decoding> decoding_;
  std::uint32_t decoded_ = 0;
  bool unreadable_ = false;
  codec::DecoderState decoderState_;
  codec::DavaGainState gain_;

  std::uint32_t elapsedMs_ = 0;
  std::int64_t lastTickMs_ = 0;
  bool paused_ = false;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace parvolin::player
