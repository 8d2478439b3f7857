#pragma once

namespace parvolin::codec {

// The gain level that the volume adjustment chose for the previous block of 2048 samples. Each
// owner keeps its own: the player and the batch conversion reset it per file, the recorder keeps
// one for its whole run.
struct DavaGainState {
  int level = 1;
};

}  // namespace parvolin::codec
