#pragma once

#include <filesystem>

#include "base/prompt.h"
#include "codec/dava.h"

namespace parvolin::codec {

// Turns a just-recorded call (8-bit logarithmic codes, the recording closed) into an 8-bit PCM
// WAV file under the same name. `davaLevel` is 0 (none), 1 or 2; the adjustment runs only for
// recordings of more than 4096 bytes. The WAV file is written beside the recording under a hidden
// temporary name and renamed over it, so that on any failure the recording stays as it was.
// Returns true when the recording is now a WAV file. Out of memory shows
// "WAVE files conversion: Not enough memory!" through `prompt`.
bool convertCallToWav(const std::filesystem::path& recording, int davaLevel, DavaGainState& gain,
                      base::Prompt& prompt);

}  // namespace parvolin::codec
