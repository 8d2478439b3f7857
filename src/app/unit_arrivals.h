#pragma once

// Units plugged in while the recorder runs: when to list the units again, and where the
// announcements come from.

#include <cstdint>
#include <memory>
#include <string>

#include "app/driver_choice.h"
#include "base/clock.h"
#include "device/device_notifications.h"

namespace parvolin::app {

// After an announced device, listings that found no new unit are tried again this often, this
// many times in all: a device may be announced a moment before it can be opened.
inline constexpr std::int64_t kArrivalRetryMs = 500;
inline constexpr int kArrivalListings = 3;

// Asked on every poll tick: when the device notifications announced a device, the units are to
// be listed now, and again (kArrivalRetryMs apart) while the listings find no new unit, at most
// kArrivalListings times. A new announcement starts the count afresh. Without notifications
// (null) the units are never listed again.
class ArrivalSchedule {
 public:
  ArrivalSchedule(device::DeviceNotifications* notifications, base::Clock& clock)
      : notifications_(notifications), clock_(clock) {}

  // True when the units are to be listed on this tick.
  bool listNow();
  // The listing asked for was made; `foundUnit`: it opened a new unit (no more tries are due).
  void listed(bool foundUnit);

 private:
  device::DeviceNotifications* notifications_;
  base::Clock& clock_;
  int listingsLeft_ = 0;
  std::int64_t nextListingMs_ = 0;
};

// The notifications of units plugged in while the program runs on `driver`: the emulated units'
// own, or udev's for the hardware backends. Null, with `error` set, when udev's cannot be had.
std::unique_ptr<device::DeviceNotifications> makeDeviceNotifications(const Driver& driver,
                                                                     std::string& error);

}  // namespace parvolin::app
