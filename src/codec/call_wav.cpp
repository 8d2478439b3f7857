#include "codec/call_wav.h"

namespace parvolin::codec {

// Placeholder until the codec lands: reports failure and leaves the recording as it is.
bool convertCallToWav(const std::filesystem::path&, int, DavaGainState&, base::Prompt&) {
  return false;
}

}  // namespace parvolin::codec
