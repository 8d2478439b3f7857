// A stand-in for the vendor's D2XX library with the eight calls the recorder binds by name:
// two units whose answers are queued by the writes they get. Built as a shared library so that
// VendorD2xx loads it exactly as it loads the real one.
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

namespace {
struct FakeUnit {
  const char* serial;
  bool open = false;
  std::uint32_t readTimeoutMs = 0;  // 0: none set, a read waits until all bytes are there
  std::deque<std::uint8_t> queued;
  std::vector<std::uint8_t> written;
};
FakeUnit units[2] = {{"VF000001", false, 0, {}, {}}, {"VF00000002", false, 0, {}, {}}};
// Units that answer no command, and the reads that would have waited for ever.
bool silent = false;
int readsWaitingForEver = 0;

FakeUnit* unitOf(void* handle) {
  for (auto& u : units) {
    if (&u == handle && u.open) return &u;
  }
  return nullptr;
}
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kInvalidHandle = 1;
constexpr std::uint32_t kDeviceNotFound = 2;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::uint32_t FT_ListDevices(void* arg1, void* arg2,
                                                                    std::uint32_t flags) {
  if (flags == 0x80000000u) {
    *static_cast<std::uint32_t*>(arg1) = 2;
    return kOk;
  }
  const auto index = reinterpret_cast<std::uintptr_t>(arg1);
  if (flags != 0x40000001u || index >= 2) return kDeviceNotFound;
  std::strcpy(static_cast<char*>(arg2), units[index].serial);
  return kOk;
}

__attribute__((visibility("default"))) std::uint32_t FT_OpenEx(void* arg, std::uint32_t flags,
                                                               void** handle) {
  if (flags != 1) return kDeviceNotFound;
  for (auto& u : units) {
    if (std::strcmp(u.serial, static_cast<const char*>(arg)) == 0 && !u.open) {
      u.open = true;
      u.readTimeoutMs = 0;  // the library opens a device without a read time-out
      *handle = &u;
      return kOk;
    }
  }
  return kDeviceNotFound;
}

__attribute__((visibility("default"))) std::uint32_t FT_Purge(void* handle, std::uint32_t mask) {
  FakeUnit* u = unitOf(handle);
  if (!u) return kInvalidHandle;
  if (mask & 1) u->queued.clear();
  return kOk;
}

__attribute__((visibility("default"))) std::uint32_t FT_SetTimeouts(void* handle,
                                                                    std::uint32_t readMs,
                                                                    std::uint32_t) {
  FakeUnit* u = unitOf(handle);
  if (!u) return kInvalidHandle;
  u->readTimeoutMs = readMs;
  return kOk;
}

__attribute__((visibility("default"))) std::uint32_t FT_GetQueueStatus(void* handle,
                                                                       std::uint32_t* waiting) {
  FakeUnit* u = unitOf(handle);
  if (!u) return kInvalidHandle;
  *waiting = static_cast<std::uint32_t>(u->queued.size());
  return kOk;
}

__attribute__((visibility("default"))) std::uint32_t FT_Read(void* handle, void* buffer,
                                                             std::uint32_t wanted,
                                                             std::uint32_t* got) {
  FakeUnit* u = unitOf(handle);
  if (!u) return kInvalidHandle;
  // Without a read time-out the real library would not return before all bytes are there.
  if (u->readTimeoutMs == 0 && u->queued.size() < wanted) ++readsWaitingForEver;
  std::uint32_t n = 0;
  for (; n < wanted && !u->queued.empty(); ++n) {
    static_cast<std::uint8_t*>(buffer)[n] = u->queued.front();
    u->queued.pop_front();
  }
  *got = n;
  return kOk;
}

// Answers the register command for byte i of the unit number with 0x10 + i, and every stream
// control frame with the value written.
__attribute__((visibility("default"))) std::uint32_t FT_Write(void* handle, void* data,
                                                              std::uint32_t size,
                                                              std::uint32_t* written) {
  FakeUnit* u = unitOf(handle);
  if (!u) return kInvalidHandle;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  u->written.assign(bytes, bytes + size);
  *written = size;
  if (silent) return kOk;
  if (size == 6 && bytes[3] == 0x42) u->queued.insert(u->queued.end(), {bytes[4], 0xB5});
  if (size == 7 && bytes[3] == 0x52 && bytes[4] >= 0xD8 && bytes[4] <= 0xDB) {
    u->queued.insert(u->queued.end(), {0xB5, static_cast<std::uint8_t>(0x10 + bytes[4] - 0xD8)});
  }
  *written = size;
  return kOk;
}

__attribute__((visibility("default"))) std::uint32_t FT_Close(void* handle) {
  FakeUnit* u = unitOf(handle);
  if (!u) return kInvalidHandle;
  u->open = false;
  return kOk;
}

// For the tests: make the units deaf to commands, and count the reads that would have hung.
__attribute__((visibility("default"))) void FakeFtd2xxSetSilent(int on) {
  silent = on != 0;
}
__attribute__((visibility("default"))) int FakeFtd2xxReadsWaitingForEver() {
  return readsWaitingForEver;
}
}
