// The hardware side of the driver choice, kept apart from the emulated units.

#include "app/driver_choice.h"
#include "device/ftdi_d2xx.h"
#include "device/vendor_d2xx.h"

namespace parvolin::app {

std::unique_ptr<device::D2xx> makeHardwareD2xx(const DriverOptions& options) {
  if (options.kind == DriverKind::kVendorLibrary) return std::make_unique<device::VendorD2xx>();
  return std::make_unique<device::FtdiD2xx>(options.usbIds);
}

}  // namespace parvolin::app
