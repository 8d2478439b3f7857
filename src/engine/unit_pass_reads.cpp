#include "engine/unit_pass_reads.h"

namespace parvolin::engine {

PassReads readUnitPass(UnitStreams& units, device::UnitStreamBuffer& buffer, int unit,
                       base::Clock& clock, const ReadSink& onRead) {
  PassReads pass;
  while (pass.reads < kMaxReadsPerPass) {
    const std::uint32_t n =
        units.readStream(buffer.readTarget(), device::UnitStreamBuffer::kMaxRead, unit);
    // The one clock reading for everything framed from this read.
    const std::int64_t wallMs = clock.wallMs();
    ++pass.reads;
    if (n == 0) {
      // Only a pass that found nothing at all looks after a lost unit.
      if (pass.reads == 1 && !units.isPresent(unit)) {
        pass.reopenTried = true;
        if (units.reopenUnit(unit)) {
          units.restartStream(unit);
          buffer.writePos = 0;
          pass.reopened = true;
        }
      }
      break;
    }
    onRead(n, wallMs);
    if (n < device::UnitStreamBuffer::kMaxRead) break;
  }
  return pass;
}

}  // namespace parvolin::engine
