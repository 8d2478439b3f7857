// USB devices added, as udev announces them. The monitor listens to udev's own announcements
// (not the kernel's), which come once udev's rules have run: by then the device node has the
// permissions the units' rule gives, so the unit can be opened at once.

#include <libudev.h>
#include <poll.h>

#include <cstring>

#include "device/device_notifications.h"

namespace parvolin::device {
namespace {

class UdevNotifications final : public DeviceNotifications {
 public:
  UdevNotifications(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
  ~UdevNotifications() override {
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
  }
  UdevNotifications(const UdevNotifications&) = delete;
  UdevNotifications& operator=(const UdevNotifications&) = delete;

  bool deviceAdded() override {
    // Everything that waits is taken, so that announcements never pile up in the socket.
    bool added = false;
    pollfd ready{udev_monitor_get_fd(monitor_), POLLIN, 0};
    while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
      udev_device* device = udev_monitor_receive_device(monitor_);
      if (device == nullptr) break;
      const char* action = udev_device_get_action(device);
      if (action != nullptr && std::strcmp(action, "add") == 0) added = true;
      udev_device_unref(device);
    }
    return added;
  }

 private:
  udev* udev_;
  udev_monitor* monitor_;
};

}  // namespace

std::unique_ptr<DeviceNotifications> makeUdevNotifications(std::string& error) {
  udev* context = udev_new();
  if (context == nullptr) {
    error = "udev could not be reached";
    return nullptr;
  }
  udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  if (monitor == nullptr ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    if (monitor != nullptr) udev_monitor_unref(monitor);
    udev_unref(context);
    error = "udev's device notifications could not be received";
    return nullptr;
  }
  return std::make_unique<UdevNotifications>(context, monitor);
}

}  // namespace parvolin::device
