#include "sim/audio_source.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <system_error>

#include "base/file_io.h"
#include "base/little_endian.h"

namespace parvolin::sim {
namespace {

class SilenceSource final : public AudioSource {
 public:
  void fill(std::span<std::int16_t> samples) override {
    std::fill(samples.begin(), samples.end(), std::int16_t{0});
  }
};

class ToneSource final : public AudioSource {
 public:
  explicit ToneSource(int hz) : step_(2 * std::numbers::pi * hz / codec::kSamplesPerSecond) {}
  void fill(std::span<std::int16_t> samples) override {
    for (std::int16_t& s : samples) {
      s = static_cast<std::int16_t>(std::lround(12000 * std::sin(phase_)));
      phase_ = std::fmod(phase_ + step_, 2 * std::numbers::pi);
    }
  }

 private:
  double step_;
  double phase_ = 0;
};

class SampleSource final : public AudioSource {
 public:
  explicit SampleSource(std::shared_ptr<const std::vector<std::int16_t>> samples)
      : samples_(std::move(samples)) {}
  void fill(std::span<std::int16_t> out) override {
    for (std::int16_t& s : out) {
      s = (samples_ && next_ < samples_->size()) ? (*samples_)[next_++] : std::int16_t{0};
    }
  }

 private:
  std::shared_ptr<const std::vector<std::int16_t>> samples_;
  std::size_t next_ = 0;
};

// One turn of a sine in kSineSize steps, indexed by the top bits of a 32-bit phase.
constexpr int kSineBits = 12;
constexpr std::size_t kSineSize = std::size_t{1} << kSineBits;

const std::array<float, kSineSize>& sineTable() {
  static const std::array<float, kSineSize> table = [] {
    std::array<float, kSineSize> t{};
    for (std::size_t i = 0; i < kSineSize; ++i)
      t[i] = static_cast<float>(std::sin(2 * std::numbers::pi * double(i) / kSineSize));
    return t;
  }();
  return table;
}

inline float sineAt(const float* table, std::uint32_t phase) {
  return table[phase >> (32 - kSineBits)];
}

// The phase step per sample of a frequency in hertz.
std::uint32_t phaseStep(double hz) {
  return static_cast<std::uint32_t>(std::llround(hz / codec::kSamplesPerSecond * 4294967296.0));
}

}  // namespace

std::unique_ptr<AudioSource> makeAudioSource(const AudioSourceSpec& wanted) {
  switch (wanted.kind) {
    case AudioSourceSpec::Kind::Silence:
      return std::make_unique<SilenceSource>();
    case AudioSourceSpec::Kind::Tone:
      return std::make_unique<ToneSource>(wanted.toneHz);
    case AudioSourceSpec::Kind::Samples:
      return std::make_unique<SampleSource>(wanted.samples);
    case AudioSourceSpec::Kind::Speech:
      break;
  }
  return std::make_unique<SpeechSynth>(wanted.seed);
}

SpeechSynth::SpeechSynth(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
  if (state_ == 0) state_ = 1;
  step0_ = phaseStep(uniform(95, 210));  // the speaker's pitch
  startSegment();
}

std::uint32_t SpeechSynth::nextRandom() {
  // xorshift32: small, fast and the same on every machine.
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

double SpeechSynth::uniform(double lo, double hi) {
  return lo + (hi - lo) * (nextRandom() / 4294967296.0);
}

void SpeechSynth::startSegment() {
  position_ = 0;
  if (voiced_ || syllablesLeft_ == 0) {
    // A pause: short between syllables, longer at the end of a phrase.
    const bool phraseEnd = syllablesLeft_ == 0;
    voiced_ = false;
    length_ = static_cast<std::int64_t>(phraseEnd ? uniform(0.3, 0.9) * codec::kSamplesPerSecond
                                                  : uniform(0.03, 0.12) * codec::kSamplesPerSecond);
    if (phraseEnd) syllablesLeft_ = static_cast<int>(uniform(3, 12));
    return;
  }
  voiced_ = true;
  --syllablesLeft_;
  length_ = static_cast<std::int64_t>(uniform(0.12, 0.32) * codec::kSamplesPerSecond);
  step1_ = phaseStep(uniform(300, 850));
  step2_ = phaseStep(uniform(900, 2300));
  step3_ = phaseStep(uniform(2400, 3200));
  level_ = static_cast<float>(uniform(5000, 11000));
  // Half a turn over the syllable: the envelope rises from 0 and is back at 0 at its end.
  envelopePhase_ = 0;
  envelopeStep_ = static_cast<std::uint32_t>((std::uint64_t{1} << 31) / std::uint64_t(length_));
}

namespace {

// Four samples at a time in the processor's vector registers: the same operations, in the same
// order, on each lane as on one sample, so that the samples are exactly those of the one-sample
// loop.
using Floats = float __attribute__((vector_size(16)));
using Words = std::uint32_t __attribute__((vector_size(16)));
using Ints = std::int32_t __attribute__((vector_size(16)));

inline Floats sinesAt(const float* table, Words phase) {
  const Words at = phase >> (32 - kSineBits);
  return Floats{table[at[0]], table[at[1]], table[at[2]], table[at[3]]};
}

// The phases of four samples in a row from `phase` on.
inline Words lanes(std::uint32_t phase, std::uint32_t step) {
  return Words{phase, phase + step, phase + 2 * step, phase + 3 * step};
}

}  // namespace

void SpeechSynth::fill(std::span<std::int16_t> samples) {
  const float* sine = sineTable().data();
  std::size_t i = 0;
  while (i < samples.size()) {
    if (position_ >= length_) startSegment();
    // The rest of this segment, or of the samples asked for.
    const std::size_t run =
        std::min(samples.size() - i, static_cast<std::size_t>(length_ - position_));
    std::int16_t* out = samples.data() + i;
    if (!voiced_) {
      std::fill_n(out, run, std::int16_t{0});
    } else {
      std::size_t k = 0;
      const std::size_t wholeFours = run / 4 * 4;
      if (wholeFours > 0) {
        Words p0 = lanes(phase0_, step0_), p1 = lanes(phase1_, step1_), p2 = lanes(phase2_, step2_),
              p3 = lanes(phase3_, step3_), pe = lanes(envelopePhase_, envelopeStep_);
        for (; k < wholeFours; k += 4) {
          const Floats envelope = sinesAt(sine, pe);
          const Floats glottal = 0.55f + 0.45f * sinesAt(sine, p0);
          const Floats v =
              level_ * envelope * glottal *
              (0.6f * sinesAt(sine, p1) + 0.3f * sinesAt(sine, p2) + 0.1f * sinesAt(sine, p3));
          // Half away from zero: a half with the sign of v.
          const Ints half = Ints{} + std::bit_cast<std::int32_t>(0.5f);
          const Ints sign = std::bit_cast<Ints>(v) & std::numeric_limits<std::int32_t>::min();
          const Ints rounded =
              __builtin_convertvector(v + std::bit_cast<Floats>(half | sign), Ints);
          for (std::size_t lane = 0; lane < 4; ++lane)
            out[k + lane] = static_cast<std::int16_t>(rounded[lane]);
          p0 += 4 * step0_;
          p1 += 4 * step1_;
          p2 += 4 * step2_;
          p3 += 4 * step3_;
          pe += 4 * envelopeStep_;
        }
        phase0_ = p0[0], phase1_ = p1[0], phase2_ = p2[0], phase3_ = p3[0], envelopePhase_ = pe[0];
      }
      std::uint32_t p0 = phase0_, p1 = phase1_, p2 = phase2_, p3 = phase3_, pe = envelopePhase_;
      for (; k < run; ++k) {
        const float envelope = sineAt(sine, pe);
        // The voice: a pitch pulse shape that opens and closes the formants.
        const float glottal = 0.55f + 0.45f * sineAt(sine, p0);
        const float v =
            level_ * envelope * glottal *
            (0.6f * sineAt(sine, p1) + 0.3f * sineAt(sine, p2) + 0.1f * sineAt(sine, p3));
        // |v| stays below 11000: rounding half away from zero without a library call or a
        // branch on the sign (v + (-0.5f) is exactly v - 0.5f).
        out[k] = static_cast<std::int16_t>(v + std::copysign(0.5f, v));
        p0 += step0_;
        p1 += step1_;
        p2 += step2_;
        p3 += step3_;
        pe += envelopeStep_;
      }
      phase0_ = p0, phase1_ = p1, phase2_ = p2, phase3_ = p3, envelopePhase_ = pe;
    }
    position_ += static_cast<std::int64_t>(run);
    i += run;
  }
}

std::optional<std::vector<std::int16_t>> loadWavSamples(const std::filesystem::path& path,
                                                        std::string& error) {
  // A folder or a device is refused here, never read (nor read for ever).
  std::string file;
  if (const std::error_code why = base::readWholeFile(path, file)) {
    error = (why == std::errc::no_such_file_or_directory ? "cannot open '" : "cannot read '") +
            path.string() + "': " + why.message();
    return std::nullopt;
  }
  const std::vector<std::uint8_t> bytes(file.begin(), file.end());
  const std::uint8_t* p = bytes.data();
  if (bytes.size() < 12 || std::string(p, p + 4) != "RIFF" ||
      std::string(p + 8, p + 12) != "WAVE") {
    error = "'" + path.string() + "' is not a WAVE file";
    return std::nullopt;
  }
  int channels = 0, bits = 0;
  std::uint32_t rate = 0;
  std::size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const std::string id(p + pos, p + pos + 4);
    const std::size_t size = base::loadLe32(p + pos + 4);
    const std::size_t body = pos + 8;
    if (size > bytes.size() - body) break;
    if (id == "fmt " && size >= 16) {
      const int format = base::loadLe16(p + body);
      channels = base::loadLe16(p + body + 2);
      rate = base::loadLe32(p + body + 4);
      bits = base::loadLe16(p + body + 14);
      if (format != 1 || channels < 1 || channels > 2 || (bits != 8 && bits != 16) || rate == 0) {
        error = "'" + path.string() + "' is not 8- or 16-bit PCM, mono or stereo";
        return std::nullopt;
      }
    } else if (id == "data" && channels > 0) {
      const std::size_t frameBytes =
          static_cast<std::size_t>(channels) * static_cast<std::size_t>(bits / 8);
      const std::size_t frames = size / frameBytes;
      auto sampleAt = [&](std::size_t frame) {
        int sum = 0;
        for (int c = 0; c < channels; ++c) {
          const std::uint8_t* q = p + body + frame * frameBytes + c * (bits / 8);
          sum += bits == 8 ? (q[0] - 128) * 256 : static_cast<std::int16_t>(base::loadLe16(q));
        }
        return static_cast<std::int16_t>(sum / channels);
      };
      std::vector<std::int16_t> out;
      const std::size_t count = frames * codec::kSamplesPerSecond / rate;
      out.reserve(count);
      for (std::size_t i = 0; i < count; ++i)
        out.push_back(sampleAt(i * rate / codec::kSamplesPerSecond));
      return out;
    }
    pos = body + size + (size & 1);
  }
  error = "'" + path.string() + "' has no PCM data";
  return std::nullopt;
}

}  // namespace parvolin::sim
