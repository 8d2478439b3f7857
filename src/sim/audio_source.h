#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec/lv_format.h"
#include "sim/sim_event.h"

namespace parvolin::sim {

// Line audio of one talking port: 16-bit linear samples, 8000 per second, produced on demand.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual void fill(std::span<std::int16_t> samples) = 0;
};

// A source for `wanted`: a speech-like signal, silence, a sine tone or a file's samples.
std::unique_ptr<AudioSource> makeAudioSource(const AudioSourceSpec& wanted);

// A speech-like signal: syllables of three formant-like sines over a voiced pitch, each shaped
// by a smooth envelope, with short pauses between syllables and longer ones between phrases.
// The same seed gives the same signal. The sines come from one precomputed table read by
// 32-bit phase accumulators (a full turn is 2^32), so a sample costs a few table reads and
// multiplications, never a sine.
class SpeechSynth final : public AudioSource {
 public:
  explicit SpeechSynth(std::uint32_t seed);
  void fill(std::span<std::int16_t> samples) override;

 private:
  std::uint32_t nextRandom();
  double uniform(double lo, double hi);
  void startSegment();

  std::uint32_t state_;
  bool voiced_ = false;
  int syllablesLeft_ = 0;
  std::int64_t position_ = 0;
  std::int64_t length_ = 0;
  // Phase steps per sample of the pitch and the three formants, and the envelope's step (half a
  // turn over the syllable).
  std::uint32_t step0_ = 0, step1_ = 0, step2_ = 0, step3_ = 0, envelopeStep_ = 0;
  std::uint32_t phase0_ = 0, phase1_ = 0, phase2_ = 0, phase3_ = 0, envelopePhase_ = 0;
  float level_ = 8000;
};

// Reads a RIFF WAVE file of 8- or 16-bit PCM, mono or stereo (mixed down), at any rate
// (resampled to 8000 per second by nearest sample). Returns nothing, with `error` set, when
// the file cannot be read or is not such a file.
[[nodiscard]] std::optional<std::vector<std::int16_t>> loadWavSamples(
    const std::filesystem::path& path, std::string& error);

}  // namespace parvolin::sim
