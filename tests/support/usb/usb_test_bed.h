#pragma once

// A USB test bed: emulated recorder units that programs find and drive through libftdi, libusb
// and the kernel's USB device interface, without a unit on the machine.
//
// The bed is a umockdev test bed made in the test's process. Each unit appears in its sysfs and
// udev as a USB device (vendor and product id, serial number, descriptors, a device node under
// /dev/bus/usb). A program started with env() runs under umockdev's preload library, which
// sends every ioctl on such a device node to this process; there a model of the units' USB
// serial chip answers them: the control requests that open and set up the chip, bulk OUT
// transfers that carry bytes to the unit, and bulk IN transfers that carry the unit's bytes back
// in packets that each begin with the chip's two modem status bytes. What the model does and
// where it comes from is written down in docs/usb-test-bed.md.
//
// The chip model runs on umockdev's worker thread; the calls below may be made from any thread.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/emulated_unit.h"

namespace parvolin::sim {
struct Scenario;
}

namespace parvolin::test {

// A control request the chip received, as its setup packet gave it.
struct UsbControlRequest {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
};

class UsbTestBed {
 public:
  static constexpr std::uint16_t kVendorId = 0x0403;
  static constexpr std::uint16_t kProductId = 0x6001;
  static constexpr std::uint16_t kMaxPacketSize = 64;
  // The modem status bytes at the start of every bulk IN packet: CTS and DSR on, and the
  // transmitter's holding and shift registers empty.
  static constexpr std::uint8_t kModemStatus0 = 0x31;
  static constexpr std::uint8_t kModemStatus1 = 0x60;
  // The chip's latency timer after power-up, in ms.
  static constexpr std::uint8_t kDefaultLatencyMs = 16;

  // A bed needs its process to run under umockdev's preload library (it sends the devices'
  // uevents through libudev, which must see the bed's sysfs). restartUnderPreload() runs the
  // program `argv` names again with the library preloaded; it returns only on failure.
  static bool runsUnderPreload();
  static void restartUnderPreload(char** argv);

  UsbTestBed();
  ~UsbTestBed();
  UsbTestBed(const UsbTestBed&) = delete;
  UsbTestBed& operator=(const UsbTestBed&) = delete;

  // The environment a program needs to see the bed's devices: the preload library and the
  // bed's root folder.
  std::map<std::string, std::string> env() const;
  std::filesystem::path root() const;

  // Plugs a device for a new emulated unit; its scenario time starts now. Units follow the
  // system clock.
  sim::EmulatedUnit& addUnit(sim::UnitConfig config);
  // Plugs the scenario's units, which libusb lists in the scenario's order. Their events start
  // now, or with `play` false when playScenario() is called (a program has started meanwhile).
  // A unit that the scenario plugs in later (`plug`) is added when it is plugged in; the bed's
  // ticks, which start when a program first opens a device, see to it.
  void addScenario(const sim::Scenario& scenario, bool play = true);
  void playScenario();

  // The device leaves (sysfs, udev, its node) and every transfer on its node fails as on a
  // device that is gone; the unit loses power. replug() brings it back at a new device address,
  // the unit powered up afresh: into the same port of the hub, or into `port` (1-9) when given.
  // Plugging in sends the device's "add" uevent, which programs see through libudev's monitor.
  void unplug(const std::string& serial);
  void replug(const std::string& serial, int port = 0);

  // Faults of the chip, each for the next matching request or transfer of that device:
  // a control request with this request code answered with a stall,
  void failControlRequest(const std::string& serial, std::uint8_t request);
  // the bulk IN endpoint halted: every transfer on it ends in a stall until the host clears the
  // halt (USBDEVFS_CLEAR_HALT, libusb_clear_halt), as a chip's halted endpoint does,
  void stallBulkIn(const std::string& serial);
  // a bulk IN transfer whose last packet is cut to one byte (half of the modem status).
  void cutShortBulkIn(const std::string& serial);

  // What the chip received and sent so far.
  std::vector<UsbControlRequest> controlRequests(const std::string& serial) const;
  std::uint64_t bytesToUnit(const std::string& serial) const;
  std::uint64_t bytesFromUnit(const std::string& serial) const;
  // Bulk IN packets sent (each with its two status bytes, but a cut-short one).
  std::uint64_t inPackets(const std::string& serial) const;
  // Halts of the bulk IN endpoint that a program cleared.
  int haltsCleared(const std::string& serial) const;
  // Times a program opened the device node.
  int opens(const std::string& serial) const;

  struct Model;

 private:
  sim::EmulatedUnit& addUnitAt(sim::UnitConfig config, int port);

  std::unique_ptr<Model> model_;
};

}  // namespace parvolin::test
