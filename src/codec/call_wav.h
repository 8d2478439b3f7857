#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <span>
#include <string_view>

#include "base/prompt.h"
#include "codec/dava.h"

namespace parvolin::codec {

inline constexpr std::string_view kCallWavNoMemoryText =
    "WAVE files conversion: Not enough memory!";

// Turns a just-recorded call (8-bit logarithmic codes, the recording closed) into an 8-bit PCM
// WAV file under the same name. `davaLevel` is 0 (none), 1 or 2; the adjustment runs only for
// recordings of more than 4096 bytes, with `gain` carried on from the previous call. The WAV
// file is written beside the recording under a hidden temporary name and renamed over it, so
// that on any failure the recording stays as it was. Returns true when the recording is now a
// WAV file. When the 2n bytes of work memory cannot be had (or exceed `memoryLimitBytes`),
// shows "WAVE files conversion: Not enough memory!" through `prompt` and returns false.
[[nodiscard]] bool convertCallToWav(
    const std::filesystem::path& recording, int davaLevel, DavaGainState& gain,
    base::Prompt& prompt, std::size_t memoryLimitBytes = std::numeric_limits<std::size_t>::max());

// Moves `gain` on exactly as convertCallToWav would for a recording holding `codes`, writing
// nothing: a call that is dropped after its end still passes through the conversion's gain.
void passCallThroughDava(std::span<const std::uint8_t> codes, int davaLevel, DavaGainState& gain);

}  // namespace parvolin::codec
