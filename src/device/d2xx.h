#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace parvolin::device {

// The eight calls of the USB library that the recorder units are reached through. Every call
// returns a status, 0 for success. Every call fails cleanly, with a non-zero status and no crash,
// on a handle that is not open: the exit sequence sends commands to units whether present or not.
class D2xx {
 public:
  using Handle = std::uint64_t;  // opaque; 0 is never an open handle
  using Status = int;

  static constexpr Status kOk = 0;
  static constexpr Status kInvalidHandle = 1;
  static constexpr Status kDeviceNotFound = 2;
  static constexpr Status kDeviceNotOpened = 3;
  static constexpr Status kIoError = 4;
  static constexpr Status kInsufficientResources = 5;
  static constexpr Status kInvalidParameter = 6;
  static constexpr Status kOtherError = 18;

  static constexpr std::uint32_t kPurgeRx = 1;
  static constexpr std::uint32_t kPurgeTx = 2;

  virtual ~D2xx() = default;

  // Number of attached devices.
  virtual Status listCount(std::uint32_t& count) = 0;
  // Serial number of the device at `index` in the listing.
  virtual Status listSerial(std::uint32_t index, std::string& serial) = 0;
  virtual Status openBySerial(const std::string& serial, Handle& handle) = 0;
  // `mask`: kPurgeRx | kPurgeTx.
  virtual Status purge(Handle handle, std::uint32_t mask) = 0;
  virtual Status setTimeouts(Handle handle, std::uint32_t readMs, std::uint32_t writeMs) = 0;
  // Bytes received and waiting to be read.
  virtual Status queueStatus(Handle handle, std::uint32_t& waiting) = 0;
  // Reads up to `wanted` bytes; returns with what arrived within the read time-out.
  virtual Status read(Handle handle, std::uint8_t* buffer, std::uint32_t wanted,
                      std::uint32_t& got) = 0;
  virtual Status write(Handle handle, const std::uint8_t* data, std::uint32_t size,
                       std::uint32_t& written) = 0;
  virtual Status close(Handle handle) = 0;

  // A sentence for the user about why the last listing failed (permissions, missing library),
  // or empty when there is nothing to add to the status.
  virtual std::string lastError() const { return {}; }
};

}  // namespace parvolin::device
