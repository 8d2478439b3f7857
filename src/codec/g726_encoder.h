#pragma once

#include <memory>

#include "sim/audio_encoder.h"

namespace parvolin::codec {

// The G.726 encoders of the recorder units: 2-bit codes (audio mode 1) and 3-bit codes (mode 2),
// packed into blocks exactly as the units pack them. Returns null for other bit counts, or while
// no encoder is built in.
std::unique_ptr<sim::AudioEncoder> makeG726Encoder(int bitsPerCode);

}  // namespace parvolin::codec
