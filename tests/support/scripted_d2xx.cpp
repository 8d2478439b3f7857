#include "support/scripted_d2xx.h"

#include <algorithm>
#include <cstring>

namespace parvolin::test {

ScriptedD2xx::Device& ScriptedD2xx::addDevice(const std::string& serial) {
  devices_.push_back(Device{});
  devices_.back().serial = serial;
  return devices_.back();
}

ScriptedD2xx::Device& ScriptedD2xx::device(const std::string& serial) {
  for (auto& d : devices_) {
    if (d.serial == serial) return d;
  }
  return addDevice(serial);
}

void ScriptedD2xx::queue(const std::string& serial, std::vector<std::uint8_t> bytes) {
  device(serial).chunks.push_back(std::move(bytes));
}

void ScriptedD2xx::queueSilence(const std::string& serial, int count) {
  for (int i = 0; i < count; ++i) device(serial).chunks.emplace_back();
}

void ScriptedD2xx::failCall(Call call, int occurrence, Status status) {
  pending_[call].emplace_back(occurrence, status);
}

std::vector<std::vector<std::uint8_t>> ScriptedD2xx::writes() const {
  std::vector<std::vector<std::uint8_t>> frames;
  for (const auto& r : log) {
    if (r.call == Call::kWrite) frames.push_back(r.bytes);
  }
  return frames;
}

int ScriptedD2xx::count(Call call) const {
  return static_cast<int>(
      std::count_if(log.begin(), log.end(), [call](const Record& r) { return r.call == call; }));
}

ScriptedD2xx::Status ScriptedD2xx::injected(Call call) {
  Status result = kOk;
  auto& entries = pending_[call];
  for (auto it = entries.begin(); it != entries.end();) {
    if (--it->first == 0) {
      result = it->second;
      it = entries.erase(it);
    } else {
      ++it;
    }
  }
  if (result == kOk) {
    if (auto a = always_.find(call); a != always_.end()) result = a->second;
  }
  return result;
}

ScriptedD2xx::OpenHandle* ScriptedD2xx::find(Handle handle) {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

ScriptedD2xx::Status ScriptedD2xx::listCount(std::uint32_t& count) {
  log.push_back({Call::kListCount, 0, {}, 0});
  if (Status s = injected(Call::kListCount); s != kOk) return s;
  count = static_cast<std::uint32_t>(
      std::count_if(devices_.begin(), devices_.end(), [](const Device& d) { return d.attached; }));
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::listSerial(std::uint32_t index, std::string& serial) {
  log.push_back({Call::kListSerial, 0, {}, index});
  if (Status s = injected(Call::kListSerial); s != kOk) return s;
  for (const auto& d : devices_) {
    if (!d.attached) continue;
    if (index-- == 0) {
      serial = d.serial;
      return kOk;
    }
  }
  return kDeviceNotFound;
}

ScriptedD2xx::Status ScriptedD2xx::openBySerial(const std::string& serial, Handle& handle) {
  log.push_back({Call::kOpen, 0, {serial.begin(), serial.end()}});
  if (Status s = injected(Call::kOpen); s != kOk) return s;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    Device& d = devices_[i];
    if (serial.empty() || d.serial != serial || !d.attached) continue;
    // Like the real library: a device that is open already cannot be opened again.
    if (d.openFails || d.openHandles > 0) return kDeviceNotOpened;
    ++d.openHandles;
    handle = nextHandle_++;
    open_[handle] = OpenHandle{i};
    log.back().handle = handle;
    return kOk;
  }
  return kDeviceNotFound;
}

ScriptedD2xx::Status ScriptedD2xx::purge(Handle handle, std::uint32_t mask) {
  log.push_back({Call::kPurge, handle, {}, mask});
  if (Status s = injected(Call::kPurge); s != kOk) return s;
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  Device& d = devices_[h->device];
  if (!d.attached) return kIoError;
  if (mask & kPurgeRx) d.chunks.clear();
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::setTimeouts(Handle handle, std::uint32_t readMs,
                                               std::uint32_t writeMs) {
  log.push_back({Call::kSetTimeouts, handle, {}, readMs});
  (void)writeMs;
  if (Status s = injected(Call::kSetTimeouts); s != kOk) return s;
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  if (!devices_[h->device].attached) return kIoError;
  h->readTimeoutMs = readMs;
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::queueStatus(Handle handle, std::uint32_t& waiting) {
  log.push_back({Call::kQueueStatus, handle, {}, 0});
  if (Status s = injected(Call::kQueueStatus); s != kOk) return s;
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  const Device& d = devices_[h->device];
  if (!d.attached) return kIoError;
  std::uint32_t bytes = 0;
  for (const auto& c : d.chunks) bytes += static_cast<std::uint32_t>(c.size());
  waiting = d.streaming && bytes == 0 ? 4096 : bytes;
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::read(Handle handle, std::uint8_t* buffer, std::uint32_t wanted,
                                        std::uint32_t& got) {
  got = 0;
  log.push_back({Call::kRead, handle, {}, wanted});
  if (Status s = injected(Call::kRead); s != kOk) return s;
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  Device& d = devices_[h->device];
  if (!d.attached) return kIoError;
  std::vector<std::uint8_t>& served = log.back().bytes;
  if (!d.chunks.empty()) {
    auto& chunk = d.chunks.front();
    const std::size_t n = std::min<std::size_t>(wanted, chunk.size());
    served.assign(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (chunk.empty()) d.chunks.pop_front();
  } else if (d.streaming) {
    served.assign(wanted, 0x00);  // port 0, code 0: records that are ignored
  }
  if (!served.empty()) std::memcpy(buffer, served.data(), served.size());
  got = static_cast<std::uint32_t>(served.size());
  if (got < wanted) clock_.advanceMs(std::max<std::uint32_t>(h->readTimeoutMs, 1));
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::write(Handle handle, const std::uint8_t* data,
                                         std::uint32_t size, std::uint32_t& written) {
  written = 0;
  log.push_back({Call::kWrite, handle, {data, data + size}});
  if (Status s = injected(Call::kWrite); s != kOk) return s;
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  Device& d = devices_[h->device];
  if (!d.attached) return kIoError;
  written = size;
  if (d.onWrite) d.onWrite(d, std::vector<std::uint8_t>(data, data + size));
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::close(Handle handle) {
  log.push_back({Call::kClose, handle, {}, 0});
  if (Status s = injected(Call::kClose); s != kOk) return s;
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  --devices_[h->device].openHandles;
  open_.erase(handle);
  return kOk;
}

}  // namespace parvolin::test
