#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/d2xx.h"

struct ftdi_context;

namespace parvolin::device {

// Real units on Linux through libftdi1 (and libusb under it).
//
// Lists the FTDI devices with vendor id 0x0403 and the product ids of the chips the units are
// built with, plus any vendor:product pairs given (units with an id of their own), with their
// serial numbers. Opening by serial number detaches the kernel's serial driver from the device.
// libftdi has no queue status; the backend reads what the chip holds into a buffer of its own
// and reports that buffer's size, and later reads are served from it first.
//
// Time-outs: the chip's latency timer is set to 2 ms, so that it hands over what it holds at
// least that often, and libusb's own transfer time-out is far above it. A libusb time-out is not
// a failure: the read returns what had arrived (possibly nothing). Only a device that vanished
// or an I/O error gives a failed status. A read waits at most its read time-out plus one USB
// round trip; a write at most one second. A read that stalls clears the halt of the chip's IN
// endpoint before it reports the failure, so that the unit can be opened again.
class FtdiD2xx final : public D2xx {
 public:
  using UsbId = std::pair<std::uint16_t, std::uint16_t>;  // vendor id, product id

  static constexpr std::uint16_t kFtdiVendorId = 0x0403;
  static constexpr std::uint16_t kFtdiProductIds[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
  static constexpr unsigned char kLatencyTimerMs = 2;
  static constexpr int kUsbReadTimeoutMs = 100;
  static constexpr int kUsbWriteTimeoutMs = 1000;
  // Read time-out in force from the open until the first setTimeouts; never "wait forever".
  static constexpr std::uint32_t kDefaultReadTimeoutMs = 10;
  static constexpr std::size_t kMaxBuffered = 65536;

  explicit FtdiD2xx(std::vector<UsbId> extraUsbIds = {});
  ~FtdiD2xx() override;
  FtdiD2xx(const FtdiD2xx&) = delete;
  FtdiD2xx& operator=(const FtdiD2xx&) = delete;

  // The vendor:product pairs listed, the FTDI ones first.
  const std::vector<UsbId>& usbIds() const { return usbIds_; }

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
  std::string lastError() const override { return lastError_; }

 private:
  struct Port;

  Port* find(Handle handle);
  Status refreshListing();
  // One non-blocking read into the port's own buffer; a failed status when the device is gone.
  Status fill(Port& port);

  std::vector<UsbId> usbIds_;
  std::vector<std::string> listing_;
  bool listed_ = false;
  std::map<Handle, std::unique_ptr<Port>> ports_;
  Handle nextHandle_ = 1;
  std::string lastError_;
};

}  // namespace parvolin::device
