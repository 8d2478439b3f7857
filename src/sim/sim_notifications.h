#pragma once

#include <cstdint>

#include "device/device_notifications.h"
#include "sim/sim_d2xx.h"

namespace parvolin::sim {

// The device notifications of emulated units: a unit plugged in (a scenario's `plug` or
// `replug`, or a unit added) is announced at the next call, as udev announces a real one.
class SimNotifications final : public device::DeviceNotifications {
 public:
  explicit SimNotifications(SimD2xx& d2xx) : d2xx_(d2xx), seen_(d2xx.plugIns()) {}

  bool deviceAdded() override {
    const std::uint64_t now = d2xx_.plugIns();
    const bool added = now != seen_;
    seen_ = now;
    return added;
  }

 private:
  SimD2xx& d2xx_;
  std::uint64_t seen_;
};

}  // namespace parvolin::sim
