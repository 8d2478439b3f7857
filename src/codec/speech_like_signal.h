#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace parvolin::codec {

// A deterministic signal that behaves like telephone speech for the codec: voiced syllables
// (a gliding pitch of 90-240 Hz with decaying harmonics shaped by two formants) under a
// syllable envelope, at changing loudness, separated by pauses of faint line noise. 8000
// samples per second; the same seed gives the same samples.
std::vector<std::int16_t> speechLikeSignal(std::size_t samples, std::uint32_t seed = 1);

}  // namespace parvolin::codec
