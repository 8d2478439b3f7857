#include "tools/sim_units.h"

#include <array>

namespace parvolin::tools {

UnitsSetUp setUpUnits(device::UnitLink& link, base::Clock& clock) {
  UnitsSetUp setUp;
  setUp.header.startEpoch = std::uint32_t(clock.wallSeconds());
  const bool opened = link.openAll();
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (link.isListed(u)) setUp.header.units[std::size_t(u)].flags |= engine::kUnitListed;
  }
  setUp.pollPeriodMs = device::pollPeriodMs(opened, link.isPresent(2), link.isPresent(3));
  for (int u = 0; u < device::kMaxUnits; ++u) {
    const bool idle = u == 0 ? opened : link.isPresent(u);
    if (!idle) continue;
    engine::CaptureUnit& entry = setUp.header.units[std::size_t(u)];
    entry.flags |= engine::kUnitIdle;
    const device::UnitSetUp unit = link.setUpUnit(u);
    if (unit.audioMode) {
      entry.audioMode = *unit.audioMode;
      entry.flags |= engine::kUnitSetUp;
    }
    if (unit.varOffDelaySec) entry.varOffDelay = std::uint8_t(*unit.varOffDelaySec);
    if (!unit.ok()) break;
  }
  return setUp;
}

}  // namespace parvolin::tools
