#include "device/vendor_d2xx.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace parvolin::device {

namespace {
// Flags of the library's listing and open calls.
constexpr unsigned long kListNumberOnly = 0x80000000UL;
constexpr unsigned long kListByIndex = 0x40000000UL;
constexpr unsigned long kOpenBySerialNumber = 1;
constexpr std::size_t kSerialBufferSize = 64;

template <typename Fn>
bool bind(void* library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(dlsym(library, name));
  return fn != nullptr;
}
}  // namespace

VendorD2xx::VendorD2xx() {
  load(kLibraryName);
}

VendorD2xx::VendorD2xx(const std::string& libraryPath) {
  load(libraryPath);
}

VendorD2xx::~VendorD2xx() {
  if (library_ == nullptr) return;
  for (const auto& [handle, native] : open_) close_(native);
  dlclose(library_);
}

void VendorD2xx::load(const std::string& path) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    loadError_ = "The D2XX library " + path + " could not be loaded" +
                 (why ? std::string(": ") + why : std::string()) +
                 ". Install it, or choose --driver ftdi.";
    lastError_ = loadError_;
    return;
  }
  const char* missing = nullptr;
  if (!bind(library, "FT_ListDevices", listDevices_))
    missing = "FT_ListDevices";
  else if (!bind(library, "FT_OpenEx", openEx_))
    missing = "FT_OpenEx";
  else if (!bind(library, "FT_Purge", purge_))
    missing = "FT_Purge";
  else if (!bind(library, "FT_SetTimeouts", setTimeouts_))
    missing = "FT_SetTimeouts";
  else if (!bind(library, "FT_GetQueueStatus", getQueueStatus_))
    missing = "FT_GetQueueStatus";
  else if (!bind(library, "FT_Read", read_))
    missing = "FT_Read";
  else if (!bind(library, "FT_Write", write_))
    missing = "FT_Write";
  else if (!bind(library, "FT_Close", close_))
    missing = "FT_Close";
  if (missing != nullptr) {
    loadError_ = "The D2XX library " + path + " lacks the function " + missing + ".";
    lastError_ = loadError_;
    dlclose(library);
    return;
  }
  library_ = library;
}

D2xx::Status VendorD2xx::notLoaded() {
  lastError_ = loadError_;
  return kDeviceNotOpened;
}

void* VendorD2xx::find(Handle handle) const {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second;
}

D2xx::Status VendorD2xx::listCount(std::uint32_t& count) {
  count = 0;
  if (library_ == nullptr) return notLoaded();
  std::uint32_t n = 0;
  const Status status = static_cast<Status>(listDevices_(&n, nullptr, kListNumberOnly));
  if (status == kOk) count = n;
  return status;
}

D2xx::Status VendorD2xx::listSerial(std::uint32_t index, std::string& serial) {
  if (library_ == nullptr) return notLoaded();
  // The library writes at most 16 characters and a terminator; the buffer is kept far larger.
  std::array<char, kSerialBufferSize> text{};
  void* byIndex = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
  const Status status =
      static_cast<Status>(listDevices_(byIndex, text.data(), kListByIndex | kOpenBySerialNumber));
  if (status != kOk) return status;
  text.back() = 0;
  serial = text.data();
  return kOk;
}

D2xx::Status VendorD2xx::openBySerial(const std::string& serial, Handle& handle) {
  if (library_ == nullptr) return notLoaded();
  if (serial.empty()) return kDeviceNotFound;
  std::string text = serial;
  void* native = nullptr;
  const Status status = static_cast<Status>(openEx_(text.data(), kOpenBySerialNumber, &native));
  if (status != kOk) return status;
  if (native == nullptr) return kDeviceNotOpened;
  // The library opens a device without a read time-out, so that a read waits until every byte
  // asked for is there; a unit that does not answer the first command (sent before the drain
  // sets the run's time-outs) would hold the recorder for ever. The write time-out is 0, as the
  // drain sets it for the run.
  setTimeouts_(native, kOpenReadTimeoutMs, 0);
  handle = nextHandle_++;
  open_[handle] = native;
  return kOk;
}

D2xx::Status VendorD2xx::purge(Handle handle, std::uint32_t mask) {
  void* native = find(handle);
  if (native == nullptr) return kInvalidHandle;
  return static_cast<Status>(purge_(native, mask));
}

D2xx::Status VendorD2xx::setTimeouts(Handle handle, std::uint32_t readMs, std::uint32_t writeMs) {
  void* native = find(handle);
  if (native == nullptr) return kInvalidHandle;
  return static_cast<Status>(setTimeouts_(native, readMs, writeMs));
}

D2xx::Status VendorD2xx::queueStatus(Handle handle, std::uint32_t& waiting) {
  void* native = find(handle);
  if (native == nullptr) return kInvalidHandle;
  std::uint32_t n = 0;
  const Status status = static_cast<Status>(getQueueStatus_(native, &n));
  waiting = status == kOk ? n : 0;
  return status;
}

D2xx::Status VendorD2xx::read(Handle handle, std::uint8_t* buffer, std::uint32_t wanted,
                              std::uint32_t& got) {
  got = 0;
  void* native = find(handle);
  if (native == nullptr) return kInvalidHandle;
  std::uint32_t n = 0;
  const Status status = static_cast<Status>(read_(native, buffer, wanted, &n));
  got = status == kOk ? std::min(n, wanted) : 0;
  return status;
}

D2xx::Status VendorD2xx::write(Handle handle, const std::uint8_t* data, std::uint32_t size,
                               std::uint32_t& written) {
  written = 0;
  void* native = find(handle);
  if (native == nullptr) return kInvalidHandle;
  std::uint32_t n = 0;
  // The library's write takes a non-const buffer but does not change it.
  const Status status =
      static_cast<Status>(write_(native, const_cast<std::uint8_t*>(data), size, &n));
  written = status == kOk ? n : 0;
  return status;
}

D2xx::Status VendorD2xx::close(Handle handle) {
  void* native = find(handle);
  if (native == nullptr) return kInvalidHandle;
  const Status status = static_cast<Status>(close_(native));
  // The library's handle is not used again either way: a failed close leaves nothing to retry.
  open_.erase(handle);
  return status;
}

}  // namespace parvolin::device
