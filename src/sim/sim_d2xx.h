#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "device/d2xx.h"
#include "sim/emulated_unit.h"

namespace parvolin::sim {

struct Scenario;

// The USB library with emulated units behind it, as many as declared (five or more too). The
// listing shows the plugged units in the order they were added. A unit opens once per plug-in:
// a second open of an open unit fails until its handle is closed or the unit is re-plugged.
// Calls on a handle whose unit was unplugged fail with kIoError; calls on a handle that is not
// open fail with kInvalidHandle.
//
// Reads return what is queued. A read that returns fewer bytes than asked lets time pass by its
// read time-out through the clock (Clock::sleepMs) and takes what arrived meanwhile, as the real
// library does: on a virtual clock every bounded read loop therefore ends, and on the system
// clock it really waits. Before setTimeouts a handle has a read time-out of
// kDefaultReadTimeoutMs.
class SimD2xx final : public device::D2xx {
 public:
  static constexpr std::uint32_t kDefaultReadTimeoutMs = 10;

  explicit SimD2xx(base::Clock& clock);
  // Adds the scenario's units with their events; scenario time starts now.
  SimD2xx(const Scenario& scenario, base::Clock& clock);

  // Adds a unit whose scenario time starts now.
  EmulatedUnit& addUnit(UnitConfig config);
  std::size_t unitCount() const { return units_.size(); }
  EmulatedUnit& unit(std::size_t index) { return *units_[index]; }
  // The unit with this serial number, or null.
  EmulatedUnit* findUnit(const std::string& serial);
  // A count that grows with every unit plugged in (its units brought up to now first).
  std::uint64_t plugIns();

  Status listCount(std::uint32_t& count) override;
  Status listSerial(std::uint32_t index, std::string& serial) override;
  Status openBySerial(const std::string& serial, Handle& handle) override;
  Status purge(Handle handle, std::uint32_t mask) override;
  Status setTimeouts(Handle handle, std::uint32_t readMs, std::uint32_t writeMs) override;
  Status queueStatus(Handle handle, std::uint32_t& waiting) override;
  Status read(Handle handle, std::uint8_t* buffer, std::uint32_t wanted,
              std::uint32_t& got) override;
  Status write(Handle handle, const std::uint8_t* data, std::uint32_t size,
               std::uint32_t& written) override;
  Status close(Handle handle) override;

 private:
  struct OpenHandle {
    EmulatedUnit* unit = nullptr;
    std::uint32_t plugSession = 0;
    std::uint32_t readTimeoutMs = kDefaultReadTimeoutMs;
  };

  void advanceAll();
  // The handle's unit brought up to now, with the status of a call on it.
  Status useHandle(Handle handle, EmulatedUnit*& unit);

  base::Clock& clock_;
  std::vector<std::unique_ptr<EmulatedUnit>> units_;
  std::map<Handle, OpenHandle> handles_;
  Handle nextHandle_ = 1;
};

}  // namespace parvolin::sim
