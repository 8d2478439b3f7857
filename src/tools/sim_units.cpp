#include "tools/sim_units.h"

#include <array>

namespace parvolin::tools {
namespace {

constexpr std::uint8_t kAck = 0xB5;
constexpr std::uint8_t kStreamStart = 0x4D;
constexpr std::size_t kVersionBufferSize = 34;

bool setUpUnit(device::UnitLink& link, int unit, engine::CaptureUnit& entry) {
  std::uint8_t mode = 0;
  if (!link.encoderMode(true, mode, unit)) return false;
  entry.audioMode = mode;
  entry.flags |= engine::kUnitSetUp;
  std::array<std::uint8_t, kVersionBufferSize> version{};
  if (!link.queryVersion(version.data(), unit) || version[0] != kAck) return false;
  std::uint8_t delayCode = 0;
  if (!link.varTurnOffDelay(true, delayCode, unit)) return false;
  entry.varOffDelay = std::uint8_t(varOffDelayFor(delayCode, entry.varOffDelay));
  std::uint8_t control = 0;
  link.streamControl(true, control, unit);
  if (control != 0) {
    std::uint8_t stop = 0;
    link.streamControl(false, stop, unit);
  }
  std::uint8_t start = kStreamStart;
  link.streamControl(false, start, unit);
  return true;
}

}  // namespace

int varOffDelayFor(std::uint8_t code, int previous) {
  constexpr std::array<int, 4> kDelaySec = {4, 12, 32, 100};
  const unsigned index = (code & 0xF0) == 0x50 ? (code & 0x0F) : 1;
  return index < kDelaySec.size() ? kDelaySec[index] : previous;
}

UnitsSetUp setUpUnits(device::UnitLink& link, base::Clock& clock) {
  UnitsSetUp setUp;
  setUp.header.startEpoch = std::uint32_t(clock.wallSeconds());
  const bool opened = link.openAll();
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (link.isListed(u)) setUp.header.units[std::size_t(u)].flags |= engine::kUnitListed;
  }
  if (opened) {
    setUp.pollPeriodMs = (link.present[2] ? 50 : 35) + (link.present[3] ? 15 : 0);
  }
  for (int u = 0; u < device::kMaxUnits; ++u) {
    const bool idle = u == 0 ? opened : link.present[std::size_t(u)] != 0;
    if (!idle) continue;
    engine::CaptureUnit& entry = setUp.header.units[std::size_t(u)];
    entry.flags |= engine::kUnitIdle;
    if (!setUpUnit(link, u, entry)) break;
  }
  return setUp;
}

}  // namespace parvolin::tools
