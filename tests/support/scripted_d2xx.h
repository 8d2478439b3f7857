#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/clock.h"
#include "device/d2xx.h"

namespace parvolin::test {

// The tests' D2xx. It records every call and fails the calls it is told to fail. Its devices are
// either driven by the test or those of another D2xx (emulated units) that it passes calls to.
//
// Driven by the test, it lists the devices it is given and serves the answer bytes queued for a
// device one chunk per read. A read that returns fewer bytes than asked advances the virtual
// clock by the handle's read time-out, as a real read would take that long, so that every
// bounded loop ends.
class ScriptedD2xx final : public device::D2xx {
 public:
  enum class Call {
    kListCount,
    kListSerial,
    kOpen,
    kPurge,
    kSetTimeouts,
    kQueueStatus,
    kRead,
    kWrite,
    kClose
  };

  struct Device {
    std::string serial;
    bool openFails = false;
    // Bytes waiting for reads. One read takes bytes from the front chunk only, so an answer
    // queued as several chunks arrives in pieces; an empty chunk is a read that gets nothing.
    std::deque<std::vector<std::uint8_t>> chunks;
    // A unit that streams: when no chunk is queued a read gets every byte it asks for and the
    // queue status is never 0.
    bool streaming = false;
    // Called with each frame written; may queue the answer.
    std::function<void(Device&, const std::vector<std::uint8_t>&)> onWrite;
    bool attached = true;  // a detached device is not listed and its handles fail
    int openHandles = 0;
  };

  struct Record {
    Call call;
    Handle handle = 0;
    std::vector<std::uint8_t> bytes;  // the bytes written, or those a read returned
    std::uint32_t wanted = 0;         // bytes asked for by a read; mask of a purge
  };

  // Devices driven by the test.
  explicit ScriptedD2xx(base::VirtualClock& clock) : clock_(&clock) {}
  // The devices of `inner`: every call not failed goes on to it.
  explicit ScriptedD2xx(device::D2xx& inner) : inner_(&inner) {}

  Device& addDevice(const std::string& serial);
  Device& device(const std::string& serial);
  // Queues `bytes` as one chunk (one read) for the device.
  void queue(const std::string& serial, std::vector<std::uint8_t> bytes);
  // Queues `count` reads that get nothing.
  void queueSilence(const std::string& serial, int count);
  // The `occurrence`-th next call of `call` (1 = the very next) fails with `status`.
  void failCall(Call call, int occurrence = 1, Status status = kIoError);
  // Every call of `call` from now on fails.
  void failAlways(Call call, Status status = kIoError) { always_[call] = status; }
  // Every call of `call` from now on whose record (as the log would keep it, before the call
  // runs: the serial opened, the frame written) `matches` fails.
  void failWhen(Call call, std::function<bool(const Record&)> matches, Status status = kIoError) {
    rules_.push_back({call, std::move(matches), status});
  }

  // The frames written, in order, and how often each kind of call was made.
  std::vector<std::vector<std::uint8_t>> writes() const;
  int count(Call call) const;
  std::vector<Record> log;
  std::string listingError;

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
  std::string lastError() const override { return inner_ ? inner_->lastError() : listingError; }

 private:
  struct OpenHandle {
    std::size_t device;
    std::uint32_t readTimeoutMs = 1;
  };
  struct Rule {
    Call call;
    std::function<bool(const Record&)> matches;
    Status status;
  };
  // Logs the call and says whether it fails.
  Status begin(Record record);
  OpenHandle* find(Handle handle);

  base::VirtualClock* clock_ = nullptr;
  device::D2xx* inner_ = nullptr;
  std::deque<Device> devices_;  // a deque keeps references to devices valid
  std::map<Handle, OpenHandle> open_;
  Handle nextHandle_ = 0x100;
  std::map<Call, std::vector<std::pair<int, Status>>> pending_;
  std::map<Call, Status> always_;
  std::vector<Rule> rules_;
};

}  // namespace parvolin::test
