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

ScriptedD2xx::Status ScriptedD2xx::begin(Record record) {
  log.push_back(std::move(record));
  const Record& r = log.back();
  Status result = kOk;
  auto& entries = pending_[r.call];
  for (auto it = entries.begin(); it != entries.end();) {
    if (--it->first == 0) {
      result = it->second;
      it = entries.erase(it);
    } else {
      ++it;
    }
  }
  for (const Rule& rule : rules_) {
    if (result == kOk && rule.call == r.call && rule.matches(r)) result = rule.status;
  }
  if (result == kOk) {
    if (auto a = always_.find(r.call); a != always_.end()) result = a->second;
  }
  return result;
}

ScriptedD2xx::OpenHandle* ScriptedD2xx::find(Handle handle) {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

ScriptedD2xx::Status ScriptedD2xx::listCount(std::uint32_t& count) {
  if (Status s = begin({Call::kListCount, 0, {}, 0}); s != kOk) return s;
  if (inner_) return inner_->listCount(count);
  count = static_cast<std::uint32_t>(
      std::count_if(devices_.begin(), devices_.end(), [](const Device& d) { return d.attached; }));
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::listSerial(std::uint32_t index, std::string& serial) {
  if (Status s = begin({Call::kListSerial, 0, {}, index}); s != kOk) return s;
  if (inner_) return inner_->listSerial(index, serial);
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
  if (Status s = begin({Call::kOpen, 0, {serial.begin(), serial.end()}, 0}); s != kOk) return s;
  if (inner_) {
    const Status s = inner_->openBySerial(serial, handle);
    if (s == kOk) log.back().handle = handle;
    return s;
  }
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
  if (Status s = begin({Call::kPurge, handle, {}, mask}); s != kOk) return s;
  if (inner_) return inner_->purge(handle, mask);
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  Device& d = devices_[h->device];
  if (!d.attached) return kIoError;
  if (mask & kPurgeRx) d.chunks.clear();
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::setTimeouts(Handle handle, std::uint32_t readMs,
                                               std::uint32_t writeMs) {
  if (Status s = begin({Call::kSetTimeouts, handle, {}, readMs}); s != kOk) return s;
  if (inner_) return inner_->setTimeouts(handle, readMs, writeMs);
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  if (!devices_[h->device].attached) return kIoError;
  h->readTimeoutMs = readMs;
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::queueStatus(Handle handle, std::uint32_t& waiting) {
  if (Status s = begin({Call::kQueueStatus, handle, {}, 0}); s != kOk) return s;
  if (inner_) return inner_->queueStatus(handle, waiting);
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
  if (Status s = begin({Call::kRead, handle, {}, wanted}); s != kOk) return s;
  if (inner_) {
    const Status s = inner_->read(handle, buffer, wanted, got);
    log.back().bytes.assign(buffer, buffer + got);
    return s;
  }
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
  if (got < wanted) clock_->advanceMs(std::max<std::uint32_t>(h->readTimeoutMs, 1));
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::write(Handle handle, const std::uint8_t* data,
                                         std::uint32_t size, std::uint32_t& written) {
  written = 0;
  if (Status s = begin({Call::kWrite, handle, {data, data + size}, 0}); s != kOk) return s;
  if (inner_) return inner_->write(handle, data, size, written);
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  Device& d = devices_[h->device];
  if (!d.attached) return kIoError;
  written = size;
  if (d.onWrite) d.onWrite(d, std::vector<std::uint8_t>(data, data + size));
  return kOk;
}

ScriptedD2xx::Status ScriptedD2xx::close(Handle handle) {
  if (Status s = begin({Call::kClose, handle, {}, 0}); s != kOk) return s;
  if (inner_) return inner_->close(handle);
  OpenHandle* h = find(handle);
  if (!h) return kInvalidHandle;
  --devices_[h->device].openHandles;
  open_.erase(handle);
  return kOk;
}

}  // namespace parvolin::test
