#include "player/time_label.h"

#include <cstdio>

namespace parvolin::player {

namespace {

std::string format(std::uint32_t minutes, std::uint32_t seconds, std::uint32_t sampleCount) {
  char text[64];
  std::snprintf(text, sizeof text, "%u'%u\" / %u'%u\"", minutes, seconds,
                sampleCount / kSamplesPerMinute, (sampleCount / kSamplesPerSecond) % 60);
  return text;
}

}  // namespace

std::string timeTextAtMs(std::uint32_t elapsedMs, std::uint32_t sampleCount) {
  return format(elapsedMs / 60000, (elapsedMs / 1000) % 60, sampleCount);
}

std::string timeTextAtSample(std::uint32_t samples, std::uint32_t sampleCount) {
  return format(samples / kSamplesPerMinute, (samples / kSamplesPerSecond) % 60, sampleCount);
}

}  // namespace parvolin::player
