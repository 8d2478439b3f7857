#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "device/d2xx.h"

namespace parvolin::device {

// Real units through the chip vendor's own D2XX library, loaded at run time
// (dlopen("libftd2xx.so")) and bound by the names of its eight functions. Without the library
// every call fails cleanly and lastError() says why, so that the program goes on as with no
// unit. The library's handles never leave this class: callers get handles of its own, which
// fail cleanly once closed.
class VendorD2xx final : public D2xx {
 public:
  static constexpr const char* kLibraryName = "libftd2xx.so";
  // Read time-out in force from the open until the first setTimeouts; never "wait forever".
  static constexpr std::uint32_t kOpenReadTimeoutMs = 10;

  VendorD2xx();
  // For tests: loads the library from `libraryPath` instead.
  explicit VendorD2xx(const std::string& libraryPath);
  ~VendorD2xx() override;
  VendorD2xx(const VendorD2xx&) = delete;
  VendorD2xx& operator=(const VendorD2xx&) = delete;

  bool loaded() const { return library_ != nullptr; }

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
  // The library's calls. Its status is a 32-bit value; counts are 32-bit; by-value integer
  // arguments are declared as unsigned long, which passes them whole whether the library reads
  // 32 or 64 bits.
  using ListDevicesFn = std::uint32_t (*)(void*, void*, unsigned long);
  using OpenExFn = std::uint32_t (*)(void*, unsigned long, void**);
  using PurgeFn = std::uint32_t (*)(void*, unsigned long);
  using SetTimeoutsFn = std::uint32_t (*)(void*, unsigned long, unsigned long);
  using GetQueueStatusFn = std::uint32_t (*)(void*, std::uint32_t*);
  using ReadFn = std::uint32_t (*)(void*, void*, unsigned long, std::uint32_t*);
  using WriteFn = std::uint32_t (*)(void*, void*, unsigned long, std::uint32_t*);
  using CloseFn = std::uint32_t (*)(void*);

  void load(const std::string& path);
  void* find(Handle handle) const;
  Status notLoaded();

  void* library_ = nullptr;
  ListDevicesFn listDevices_ = nullptr;
  OpenExFn openEx_ = nullptr;
  PurgeFn purge_ = nullptr;
  SetTimeoutsFn setTimeouts_ = nullptr;
  GetQueueStatusFn getQueueStatus_ = nullptr;
  ReadFn read_ = nullptr;
  WriteFn write_ = nullptr;
  CloseFn close_ = nullptr;

  std::map<Handle, void*> open_;
  Handle nextHandle_ = 1;
  std::string loadError_;
  std::string lastError_;
};

}  // namespace parvolin::device
