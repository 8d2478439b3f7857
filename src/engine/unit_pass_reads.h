#pragma once

#include <cstdint>
#include <functional>

#include "base/clock.h"
#include "device/stream_framing.h"
#include "engine/unit_streams.h"

namespace parvolin::engine {

// Reads per unit pass: four ports in full-rate audio send more than one 2048-byte read a tick
// can carry, so a pass reads again while the reads come back full.
inline constexpr int kMaxReadsPerPass = 8;

struct PassReads {
  int reads = 0;             // reads made, the empty one that ended the pass included
  bool reopenTried = false;  // the unit was lost and reopenUnit was called
  bool reopened = false;     // ... and it worked; the stream was restarted
};

// Called for every read that returned bytes: `n` bytes were placed at the buffer's writePos,
// and `wallMs` is the wall clock taken once, when the read returned.
using ReadSink = std::function<void(std::uint32_t n, std::int64_t wallMs)>;

// The reads of one unit pass, shared by the recorder and by anything that records what a
// recorder would read. Reads up to 2048 bytes into `buffer` at writePos; reads again while a
// read returned the full 2048 bytes, at most kMaxReadsPerPass times. When the pass's first read
// returns nothing and the unit is no longer present, reopens it and restarts its stream; the part
// record carried over from before the loss is dropped, since the reopened unit starts afresh.
// `onRead` must consume the bytes (frame them) before returning.
PassReads readUnitPass(UnitStreams& units, device::UnitStreamBuffer& buffer, int unit,
                       base::Clock& clock, const ReadSink& onRead);

}  // namespace parvolin::engine
