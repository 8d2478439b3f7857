#include "codec/dava.h"

#include <algorithm>
#include <cstddef>

namespace parvolin::codec {

namespace {

struct GainStep {
  int k;          // multiplier (g + k) × 0.5; 0 means none
  int nextLevel;  // 0 means unchanged
};

// The gain of a block by its positive peak. Level 1 leaves the state at 3 in the row
// 1537-2048, where level 2 moves it to 4.
GainStep gainFor(int peak, int level) {
  const bool deep = level == kDavaLevel2;
  if (peak > 8192) return {0, 1};
  if (peak > 4096) return {2, 2};
  if (peak > 2048) return {3, 3};
  if (peak > 1536) return {4, deep ? 4 : 3};
  if (peak > 1024) return deep ? GainStep{6, 6} : GainStep{5, 5};
  if (peak > 768) return deep ? GainStep{8, 8} : GainStep{6, 6};
  if (peak > 512) return deep ? GainStep{8, 8} : GainStep{0, 0};
  return {0, 0};
}

}  // namespace

void applyDava(std::span<std::int16_t> x, int level, DavaGainState& gain) {
  if (level != kDavaLevel1 && level != kDavaLevel2) return;
  applyDavaWithOffset(x, level, davaOffset(x), gain);
}

std::int32_t davaOffset(std::span<const std::int16_t> x) {
  // Missing samples count as 0, so a short buffer still gets a deterministic offset.
  std::int32_t sum = 0;
  for (std::size_t i = 0; i < std::min(x.size(), kDavaMeanSamples); ++i) sum += x[i];
  return sum / static_cast<std::int32_t>(kDavaMeanSamples);
}

void applyDavaWithOffset(std::span<std::int16_t> x, int level, std::int32_t mean,
                         DavaGainState& gain) {
  if (level != kDavaLevel1 && level != kDavaLevel2) return;
  for (std::int16_t& s : x) s = static_cast<std::int16_t>(s - mean);

  const std::size_t blocks = x.size() / kDavaBlockSamples;
  for (std::size_t blk = 0; blk < blocks; ++blk) {
    const auto block = x.subspan(blk * kDavaBlockSamples, kDavaBlockSamples);
    int peak = 0;
    for (std::int16_t s : block) peak = std::max<int>(peak, s);
    const GainStep step = gainFor(peak, level);
    if (step.k != 0) {
      const double factor = (gain.level + step.k) * 0.5;
      for (std::int16_t& s : block) {
        s = static_cast<std::int16_t>(static_cast<std::int32_t>(s * factor));
      }
    }
    if (step.nextLevel != 0) gain.level = step.nextLevel;
  }
}

}  // namespace parvolin::codec
