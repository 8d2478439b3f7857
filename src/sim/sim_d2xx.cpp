#include "sim/sim_d2xx.h"

#include "sim/scenario.h"

namespace parvolin::sim {

SimD2xx::SimD2xx(base::Clock& clock) : clock_(clock) {}

SimD2xx::SimD2xx(const Scenario& scenario, base::Clock& clock) : clock_(clock) {
  for (const UnitDeclaration& declared : scenario.units) {
    EmulatedUnit& unit = addUnit(declared.config);
    if (declared.randomCalls) {
      unit.enableRandomCalls(declared.randomSeed, declared.randomFromMs, declared.randomUntilMs);
    }
  }
  for (const ScenarioEvent& e : scenario.events) {
    if (e.unit < units_.size()) units_[e.unit]->schedule(e.event);
  }
}

EmulatedUnit& SimD2xx::addUnit(UnitConfig config) {
  units_.push_back(std::make_unique<EmulatedUnit>(std::move(config), clock_, clock_.monotonicMs()));
  return *units_.back();
}

EmulatedUnit* SimD2xx::findUnit(const std::string& serial) {
  for (auto& unit : units_) {
    if (unit->serial() == serial) return unit.get();
  }
  return nullptr;
}

std::uint64_t SimD2xx::plugIns() {
  advanceAll();
  std::uint64_t count = 0;
  for (auto& unit : units_) count += unit->plugSession();
  return count;
}

void SimD2xx::advanceAll() {
  for (auto& unit : units_) unit->advance();
}

SimD2xx::Status SimD2xx::listCount(std::uint32_t& count) {
  advanceAll();
  count = 0;
  for (auto& unit : units_) count += unit->plugged() ? 1u : 0u;
  return kOk;
}

SimD2xx::Status SimD2xx::listSerial(std::uint32_t index, std::string& serial) {
  advanceAll();
  for (auto& unit : units_) {
    if (!unit->plugged()) continue;
    if (index-- == 0) {
      serial = unit->serial();
      return kOk;
    }
  }
  return kDeviceNotFound;
}

SimD2xx::Status SimD2xx::openBySerial(const std::string& serial, Handle& handle) {
  advanceAll();
  EmulatedUnit* unit = findUnit(serial);
  if (serial.empty() || !unit || !unit->plugged()) return kDeviceNotFound;
  for (const auto& [h, open] : handles_) {
    if (open.unit == unit && open.plugSession == unit->plugSession()) return kDeviceNotOpened;
  }
  handle = nextHandle_++;
  handles_[handle] = OpenHandle{unit, unit->plugSession(), kDefaultReadTimeoutMs};
  return kOk;
}

SimD2xx::Status SimD2xx::useHandle(Handle handle, EmulatedUnit*& unit) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return kInvalidHandle;
  unit = it->second.unit;
  unit->advance();
  if (!unit->plugged() || unit->plugSession() != it->second.plugSession) return kIoError;
  return kOk;
}

SimD2xx::Status SimD2xx::purge(Handle handle, std::uint32_t mask) {
  EmulatedUnit* unit = nullptr;
  if (const Status s = useHandle(handle, unit); s != kOk) return s;
  if (mask & kPurgeRx) unit->purgeReceiveSide();
  if (mask & kPurgeTx) unit->purgeTransmitSide();
  return kOk;
}

SimD2xx::Status SimD2xx::setTimeouts(Handle handle, std::uint32_t readMs, std::uint32_t) {
  EmulatedUnit* unit = nullptr;
  if (const Status s = useHandle(handle, unit); s != kOk) return s;
  handles_[handle].readTimeoutMs = readMs;
  return kOk;
}

SimD2xx::Status SimD2xx::queueStatus(Handle handle, std::uint32_t& waiting) {
  EmulatedUnit* unit = nullptr;
  if (const Status s = useHandle(handle, unit); s != kOk) return s;
  waiting = static_cast<std::uint32_t>(unit->readable());
  return kOk;
}

SimD2xx::Status SimD2xx::read(Handle handle, std::uint8_t* buffer, std::uint32_t wanted,
                              std::uint32_t& got) {
  got = 0;
  EmulatedUnit* unit = nullptr;
  if (const Status s = useHandle(handle, unit); s != kOk) return s;
  if (!buffer && wanted > 0) return kInvalidParameter;
  got = static_cast<std::uint32_t>(unit->take(buffer, wanted));
  if (got < wanted) {
    // The library waits out its read time-out for the rest and returns what came meanwhile.
    clock_.sleepMs(handles_[handle].readTimeoutMs);
    unit->advance();
    if (!unit->plugged()) return got > 0 ? kOk : kIoError;
    // During a drip every read returns at most one byte.
    if (got == 0 || !unit->dripping()) {
      got += static_cast<std::uint32_t>(unit->take(buffer + got, wanted - got));
    }
  }
  return kOk;
}

SimD2xx::Status SimD2xx::write(Handle handle, const std::uint8_t* data, std::uint32_t size,
                               std::uint32_t& written) {
  written = 0;
  EmulatedUnit* unit = nullptr;
  if (const Status s = useHandle(handle, unit); s != kOk) return s;
  if (!data && size > 0) return kInvalidParameter;
  unit->receive(std::span<const std::uint8_t>(data, size));
  written = size;
  return kOk;
}

SimD2xx::Status SimD2xx::close(Handle handle) {
  // A handle whose unit was unplugged is released as well: closing only frees it.
  return handles_.erase(handle) > 0 ? kOk : kInvalidHandle;
}

}  // namespace parvolin::sim
