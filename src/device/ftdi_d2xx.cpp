#include "device/ftdi_d2xx.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace parvolin::device {

struct FtdiD2xx::Port {
  ftdi_context* ftdi = nullptr;
  std::vector<std::uint8_t> buffered;  // read from the chip, not yet handed to a reader
  std::uint32_t readTimeoutMs = kDefaultReadTimeoutMs;

  ~Port() {
    if (ftdi == nullptr) return;
    // Closing a device that vanished fails to release it, but frees the handle all the same.
    ftdi_usb_close(ftdi);
    ftdi_free(ftdi);
  }
};

namespace {

using Clock = std::chrono::steady_clock;

// libftdi passes libusb's codes through on transfers. A time-out means "nothing more arrived";
// every other negative code is a failure, a vanished device among them.
D2xx::Status statusFor(int code) {
  switch (code) {
    case LIBUSB_ERROR_NO_DEVICE:
      return D2xx::kDeviceNotFound;
    case LIBUSB_ERROR_IO:
    case LIBUSB_ERROR_PIPE:
    case LIBUSB_ERROR_OVERFLOW:
      return D2xx::kIoError;
    default:
      return D2xx::kOtherError;
  }
}

// A stalled transfer leaves its endpoint halted, on the chip and in the kernel, until the host
// clears the halt: every later transfer on it would stall too, through any reopening, since
// libftdi's open does not clear it. The failed call still reports the stall. (Reads only: a
// failed write comes back from libftdi as -1, without libusb's code.)
int clearedAfterStall(ftdi_context* ftdi, int code, unsigned char endpoint) {
  if (code == LIBUSB_ERROR_PIPE && ftdi->usb_dev != nullptr) {
    libusb_clear_halt(ftdi->usb_dev, endpoint);
  }
  return code;
}

std::string hex4(std::uint16_t value) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "%04x", value);
  return text.data();
}

std::string deviceName(libusb_device* dev, const libusb_device_descriptor& desc) {
  return "USB device " + hex4(desc.idVendor) + ":" + hex4(desc.idProduct) + " (bus " +
         std::to_string(libusb_get_bus_number(dev)) + ", device " +
         std::to_string(libusb_get_device_address(dev)) + ")";
}

struct ScanResult {
  int listError = 0;  // of the device list itself
  std::vector<std::string> denied;
  std::vector<std::string> failed;
};

// Calls `visit(device, serial)` for every attached device with one of `ids` whose serial number
// could be read, in the order libusb lists them, until `visit` returns true. Devices that could
// not be opened to read the serial number are noted in the result.
template <typename Visit>
ScanResult scanDevices(libusb_context* usb, const std::vector<FtdiD2xx::UsbId>& ids, Visit visit) {
  ScanResult result;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(usb, &list);
  if (n < 0) {
    result.listError = static_cast<int>(n);
    return result;
  }
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device* dev = list[i];
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(dev, &desc) != 0) continue;
    const FtdiD2xx::UsbId id{desc.idVendor, desc.idProduct};
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) continue;
    libusb_device_handle* h = nullptr;
    const int opened = libusb_open(dev, &h);
    if (opened == LIBUSB_ERROR_ACCESS) {
      result.denied.push_back(deviceName(dev, desc));
      continue;
    }
    if (opened != 0) {
      result.failed.push_back(deviceName(dev, desc) + ": " + libusb_strerror(opened));
      continue;
    }
    std::array<unsigned char, 128> text{};
    int length = 0;
    if (desc.iSerialNumber != 0) {
      length = libusb_get_string_descriptor_ascii(h, desc.iSerialNumber, text.data(),
                                                  static_cast<int>(text.size() - 1));
    }
    libusb_close(h);
    if (length < 0) {
      result.failed.push_back(deviceName(dev, desc) + ": " + libusb_strerror(length));
      continue;
    }
    const std::string serial(reinterpret_cast<const char*>(text.data()),
                             static_cast<std::size_t>(length));
    if (visit(dev, serial)) break;
  }
  libusb_free_device_list(list, 1);
  return result;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& p : parts) {
    if (!text.empty()) text += "; ";
    text += p;
  }
  return text;
}

}  // namespace

FtdiD2xx::FtdiD2xx(std::vector<UsbId> extraUsbIds) {
  for (std::uint16_t product : kFtdiProductIds) usbIds_.emplace_back(kFtdiVendorId, product);
  for (const auto& id : extraUsbIds) {
    if (std::find(usbIds_.begin(), usbIds_.end(), id) == usbIds_.end()) usbIds_.push_back(id);
  }
}

FtdiD2xx::~FtdiD2xx() = default;

FtdiD2xx::Port* FtdiD2xx::find(Handle handle) {
  auto it = ports_.find(handle);
  return it == ports_.end() ? nullptr : it->second.get();
}

D2xx::Status FtdiD2xx::refreshListing() {
  listing_.clear();
  listed_ = true;
  ftdi_context* ftdi = ftdi_new();
  if (ftdi == nullptr) {
    lastError_ = "USB access could not be initialised (libusb failed to start).";
    return kOtherError;
  }
  const ScanResult scan =
      scanDevices(ftdi->usb_ctx, usbIds_, [this](libusb_device*, const std::string& serial) {
        listing_.push_back(serial);
        return false;
      });
  ftdi_free(ftdi);
  lastError_.clear();
  if (scan.listError != 0) {
    lastError_ = std::string("USB devices could not be listed: ") + libusb_strerror(scan.listError);
    return kOtherError;
  }
  if (!scan.denied.empty()) {
    lastError_ = "No permission to open " + joined(scan.denied) +
                 ". The udev rule 70-parvolin-units.rules gives the logged-in user access; "
                 "install it and plug the unit in again.";
  }
  if (!scan.failed.empty()) {
    if (!lastError_.empty()) lastError_ += ' ';
    lastError_ += "Could not read ";
    lastError_ += joined(scan.failed);
  }
  // Units that are there but cannot be used are a failure, not "no device".
  if (listing_.empty() && (!scan.denied.empty() || !scan.failed.empty())) return kDeviceNotOpened;
  return kOk;
}

D2xx::Status FtdiD2xx::listCount(std::uint32_t& count) {
  count = 0;
  const Status status = refreshListing();
  count = static_cast<std::uint32_t>(listing_.size());
  return status;
}

D2xx::Status FtdiD2xx::listSerial(std::uint32_t index, std::string& serial) {
  if (!listed_) {
    if (Status s = refreshListing(); s != kOk) return s;
  }
  if (index >= listing_.size()) return kDeviceNotFound;
  serial = listing_[index];
  return kOk;
}

D2xx::Status FtdiD2xx::openBySerial(const std::string& serial, Handle& handle) {
  if (serial.empty()) return kDeviceNotFound;
  auto port = std::make_unique<Port>();
  port->ftdi = ftdi_new();
  if (port->ftdi == nullptr) {
    lastError_ = "USB access could not be initialised (libusb failed to start).";
    return kOtherError;
  }
  ftdi_context* ftdi = port->ftdi;
  bool found = false;
  int opened = 0;
  scanDevices(ftdi->usb_ctx, usbIds_, [&](libusb_device* dev, const std::string& s) {
    if (s != serial) return false;
    found = true;
    opened = ftdi_usb_open_dev(ftdi, dev);
    return true;
  });
  if (!found) return kDeviceNotFound;
  if (opened < 0) {
    lastError_ =
        std::string("Unit ") + serial + " could not be opened: " + ftdi_get_error_string(ftdi);
    return kDeviceNotOpened;
  }
  ftdi->usb_read_timeout = kUsbReadTimeoutMs;
  ftdi->usb_write_timeout = kUsbWriteTimeoutMs;
  if (const int r = ftdi_set_latency_timer(ftdi, kLatencyTimerMs); r < 0) {
    lastError_ = std::string("Unit ") + serial + ": " + ftdi_get_error_string(ftdi);
    return kIoError;  // the port's destructor closes the device again
  }
  handle = nextHandle_++;
  ports_[handle] = std::move(port);
  return kOk;
}

D2xx::Status FtdiD2xx::purge(Handle handle, std::uint32_t mask) {
  Port* port = find(handle);
  if (port == nullptr) return kInvalidHandle;
  if (mask & kPurgeRx) {
    port->buffered.clear();
    if (ftdi_tciflush(port->ftdi) < 0) return kIoError;
  }
  if ((mask & kPurgeTx) && ftdi_tcoflush(port->ftdi) < 0) return kIoError;
  return kOk;
}

D2xx::Status FtdiD2xx::setTimeouts(Handle handle, std::uint32_t readMs, std::uint32_t writeMs) {
  Port* port = find(handle);
  if (port == nullptr) return kInvalidHandle;
  port->readTimeoutMs = readMs;
  // A write time-out of 0 means "no time-out" to the callers; libusb keeps its own bound.
  port->ftdi->usb_write_timeout =
      writeMs == 0 ? kUsbWriteTimeoutMs : static_cast<int>(std::min<std::uint32_t>(writeMs, 60000));
  return kOk;
}

D2xx::Status FtdiD2xx::fill(Port& port) {
  if (port.buffered.size() >= kMaxBuffered) return kOk;
  std::array<std::uint8_t, 4096> chunk;
  // libftdi reads from its out_ep, the chip's IN endpoint.
  const int n = clearedAfterStall(
      port.ftdi, ftdi_read_data(port.ftdi, chunk.data(), static_cast<int>(chunk.size())),
      static_cast<unsigned char>(port.ftdi->out_ep));
  if (n == LIBUSB_ERROR_TIMEOUT) return kOk;
  if (n < 0) return statusFor(n);
  port.buffered.insert(port.buffered.end(), chunk.begin(), chunk.begin() + n);
  return kOk;
}

D2xx::Status FtdiD2xx::queueStatus(Handle handle, std::uint32_t& waiting) {
  Port* port = find(handle);
  if (port == nullptr) return kInvalidHandle;
  if (Status s = fill(*port); s != kOk) return s;
  waiting = static_cast<std::uint32_t>(port->buffered.size());
  return kOk;
}

D2xx::Status FtdiD2xx::read(Handle handle, std::uint8_t* buffer, std::uint32_t wanted,
                            std::uint32_t& got) {
  got = 0;
  Port* port = find(handle);
  if (port == nullptr) return kInvalidHandle;
  auto take = [&] {
    const std::size_t n = std::min<std::size_t>(wanted - got, port->buffered.size());
    std::memcpy(buffer + got, port->buffered.data(), n);
    port->buffered.erase(port->buffered.begin(),
                         port->buffered.begin() + static_cast<std::ptrdiff_t>(n));
    got += static_cast<std::uint32_t>(n);
  };
  take();
  const auto deadline = Clock::now() + std::chrono::milliseconds(port->readTimeoutMs);
  // Each pass waits at most for the chip's next packet (its latency timer) or libusb's time-out.
  while (got < wanted) {
    const int n = clearedAfterStall(
        port->ftdi, ftdi_read_data(port->ftdi, buffer + got, static_cast<int>(wanted - got)),
        static_cast<unsigned char>(port->ftdi->out_ep));
    if (n < 0 && n != LIBUSB_ERROR_TIMEOUT) return statusFor(n);
    if (n > 0) got += static_cast<std::uint32_t>(n);
    if (Clock::now() >= deadline) break;
  }
  return kOk;
}

D2xx::Status FtdiD2xx::write(Handle handle, const std::uint8_t* data, std::uint32_t size,
                             std::uint32_t& written) {
  written = 0;
  Port* port = find(handle);
  if (port == nullptr) return kInvalidHandle;
  const int n = ftdi_write_data(port->ftdi, data, static_cast<int>(size));
  // A write that timed out wrote nothing the caller can count on; the count says so.
  if (n == LIBUSB_ERROR_TIMEOUT) return kOk;
  if (n < 0) return statusFor(n);
  written = static_cast<std::uint32_t>(n);
  return kOk;
}

D2xx::Status FtdiD2xx::close(Handle handle) {
  auto it = ports_.find(handle);
  if (it == ports_.end()) return kInvalidHandle;
  ports_.erase(it);
  return kOk;
}

}  // namespace parvolin::device
