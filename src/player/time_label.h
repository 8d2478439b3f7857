#pragma once

#include <cstdint>
#include <string>

#include "codec/lv_format.h"

// The player's position/length label: "1'5\" / 4'25\"" for 65 seconds of 265, minutes and
// seconds in whole numbers, the seconds not padded.
namespace parvolin::player {

inline constexpr int kSamplesPerMs = 8;
inline constexpr std::uint32_t kSamplesPerSecond = codec::kSamplesPerSecond;
inline constexpr std::uint32_t kSamplesPerMinute = 60 * kSamplesPerSecond;

// The label at `elapsedMs` of a recording of `sampleCount` samples.
std::string timeTextAtMs(std::uint32_t elapsedMs, std::uint32_t sampleCount);
// The label at the slider position `samples` (while the user drags it).
std::string timeTextAtSample(std::uint32_t samples, std::uint32_t sampleCount);

}  // namespace parvolin::player
