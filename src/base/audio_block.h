#pragma once

#include <cstddef>

// The units' encoded line audio, as the stream carries it and the recordings keep it: blocks of
// 512 bytes, whatever the audio mode, of audio sampled 8000 times a second.
namespace parvolin::base {

inline constexpr std::size_t kAudioBlockSize = 512;
inline constexpr int kSamplesPerSecond = 8000;

}  // namespace parvolin::base
