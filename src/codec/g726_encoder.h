#pragma once

#include <memory>

#include "codec/audio_encoder.h"

namespace parvolin::codec {

// The G.726 encoders of the recorder units: 2-bit codes (audio mode 1) and 3-bit codes (mode 2),
// packed into blocks exactly as the units pack them (mode 2 blocks start with two bytes of 0).
// The encoder runs the decoder's own update, so LvDecoder tracks it sample for sample. Returns
// null for other bit counts.
std::unique_ptr<AudioEncoder> makeG726Encoder(int bitsPerCode);

}  // namespace parvolin::codec
