#pragma once

#include <cstdint>
#include <span>

namespace parvolin::codec {

// The gain level that the volume adjustment chose for the previous block of 2048 samples. Each
// owner keeps its own: the player and the batch conversion reset it per file, the recorder keeps
// one for its whole run.
struct DavaGainState {
  int level = 1;
};

// Dava levels: 0 no adjustment, 1 "L1 (Less)", 2 "L2 (Deep)".
constexpr int kDavaNone = 0;
constexpr int kDavaLevel1 = 1;
constexpr int kDavaLevel2 = 2;
constexpr std::size_t kDavaBlockSamples = 2048;
constexpr std::size_t kDavaMeanSamples = 4096;

// The digital volume adjustment, in place: removes the offset (the sum of the first
// min(n, 4096) samples divided by 4096), then amplifies quiet blocks of 2048 samples by a
// factor that moves halfway from the previous block's level to the new one. Samples after the
// last whole block only lose the offset. Products keep their low 16 bits. A level other than 1
// or 2 leaves the samples alone.
void applyDava(std::span<std::int16_t> samples, int level, DavaGainState& gain);

// The two steps of applyDava, for samples that come a piece at a time: the offset of a file's
// first min(n, 4096) samples, then the adjustment of the samples in order, in pieces that hold
// whole 2048-sample blocks except the last.
std::int32_t davaOffset(std::span<const std::int16_t> firstSamples);
void applyDavaWithOffset(std::span<std::int16_t> samples, int level, std::int32_t offset,
                         DavaGainState& gain);

}  // namespace parvolin::codec
