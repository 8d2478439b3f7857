#pragma once

#include <memory>
#include <string>

namespace parvolin::device {

// The system's notifications of USB devices that were plugged in, as the recorder takes them:
// asked on every poll tick, never waiting. The recorder lists its units again when one came, so
// that a unit plugged in after the start is opened and recorded without a restart.
class DeviceNotifications {
 public:
  virtual ~DeviceNotifications() = default;
  // True when a device was added since the last call. Never blocks.
  virtual bool deviceAdded() = 0;
};

// The notifications of udev (libudev's monitor of USB devices, after udev's rules gave the
// device node its permissions). Null, with `error` saying why, when the monitor cannot be made.
std::unique_ptr<DeviceNotifications> makeUdevNotifications(std::string& error);

}  // namespace parvolin::device
