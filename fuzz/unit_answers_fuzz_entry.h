#pragma once

// The body of the unit answers fuzz target, shared with the test that replays the saved corpus.
// A unit whose answers are any bytes: the input is a script read from the front, one byte at a
// time, by the recorder's side and by the unit.
//
// The recorder's side takes a command byte: bits 0-3 pick the operation (0 version query, 1-6
// read a register, 7 write a register (register and value from the next two bytes), 8 read the
// stream control byte, 9 write it (value from the next byte), 10 read the unit number, 11 stop
// the stream, 12 restart it, 13 set the unit up, 14 read the stream (length from the next byte),
// 15 reopen the unit); bit 4 makes the operation's first write fail; bits 5-7 pick the unit:
// 3 the second unit, which is not attached, 7 an index outside 0-3, else the first.
//
// The unit takes one byte for each read of the recorder: 0x00-0x3F that many more bytes of the
// script arrive (a read returns what arrived, as much as it asks for; the rest waits for the
// next read); 0x40-0x7E nothing new arrives for as many more reads as the low six bits say, 0x7F
// for 999 more (so that an answer can complete on the last read counted, or just after); 0x80-0x8F
// the read fails; 0x90-0x9F the unit streams for this and 4 to 64 more reads (4 times one more
// than the low four bits), every read getting all it asks for, or until the next command;
// 0xA0-0xFF nothing new arrives. When the script ends, the unit is gone: every read fails (so
// that an input's last command ends at once).
//
// The stream ends by itself so that the drain of a reopen ends when the unit has nothing more:
// a unit that streams for ever holds every drain to the link's bound of a thousand reads, which
// made such inputs slow and the target slow; that bound is the unit tests' business.
//
// Every operation is checked against the command protocol worked out afresh from the calls the
// link made: the frames written, the bytes each read asked for, where the answer's bytes come
// from, when it gives up, what it returns and when the unit counts as no longer present. The
// link may make no call the protocol does not.

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "device/d2xx.h"
#include "device/unit_link.h"
#include "device/unit_protocol.h"
#include "fuzz_folder.h"

namespace parvolin::fuzz {

namespace unit_answers_fuzz {

using device::D2xx;
using Bytes = std::vector<std::uint8_t>;

struct Script {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;

  bool ended() const { return at >= size; }
  std::uint8_t next() { return ended() ? 0 : data[at++]; }
};

// One call the link made, or a run of reads alike in every respect.
struct Call {
  enum Kind { kRead, kWrite, kOther } kind = kOther;
  D2xx::Status status = D2xx::kOk;
  std::uint32_t wanted = 0;  // what a read asked for
  std::uint32_t got = 0;     // what a read got
  // The bytes a write sent, or a read got when they are kKeptReadBytes or fewer (short: kept in
  // place). The longer reads are of a drain or of the stream, whose bytes the recorder throws
  // away; logging them made the drain of a streaming unit slow.
  std::string bytes;
  std::uint32_t times = 1;  // reads: how many in a row
};

inline constexpr std::size_t kKeptReadBytes = 64;

inline bool sameBytes(std::string_view logged, std::span<const std::uint8_t> bytes) {
  return std::equal(logged.begin(), logged.end(), bytes.begin(), bytes.end(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// One attached unit, serial "FUZZ1", whose every byte comes from the script.
class ScriptedUnit final : public D2xx {
 public:
  // `log` is emptied and takes the calls; one log kept from input to input saves its growth
  // (a drain of a streaming unit makes two thousand calls).
  ScriptedUnit(Script& script, base::VirtualClock& clock, std::vector<Call>& log)
      : calls(log), script_(script), clock_(clock) {
    calls.clear();
  }

  std::vector<Call>& calls;
  std::size_t firstOfOperation = 0;  // runs of reads never reach back before it
  bool failNextWrite = false;
  // Until the script starts, reads take nothing from it (the opening of the unit).
  bool scripted = false;
  Bytes waiting;  // arrived, not yet read

  Status listCount(std::uint32_t& count) override {
    count = 1;
    return other(kOk);
  }
  Status listSerial(std::uint32_t index, std::string& serial) override {
    if (index != 0) return other(kDeviceNotFound);
    serial = "FUZZ1";
    return other(kOk);
  }
  Status openBySerial(const std::string& serial, Handle& handle) override {
    if (serial != "FUZZ1" || open_) return other(kDeviceNotOpened);
    open_ = true;
    handle = kHandle;
    return other(kOk);
  }
  Status purge(Handle handle, std::uint32_t mask) override {
    if (!valid(handle)) return other(kInvalidHandle);
    if (mask & kPurgeRx) waiting.clear();
    return other(kOk);
  }
  Status setTimeouts(Handle handle, std::uint32_t, std::uint32_t) override {
    return other(valid(handle) ? kOk : kInvalidHandle);
  }
  Status queueStatus(Handle handle, std::uint32_t& count) override {
    if (!valid(handle)) return other(kInvalidHandle);
    count = streaming_ ? 4096 : std::uint32_t(waiting.size());
    return other(kOk);
  }
  Status close(Handle handle) override {
    if (!valid(handle)) return other(kInvalidHandle);
    open_ = false;
    return other(kOk);
  }

  Status write(Handle handle, const std::uint8_t* data, std::uint32_t size,
               std::uint32_t& written) override {
    written = 0;
    Call call{Call::kWrite, kOk, 0, 0, std::string(data, data + size)};
    streaming_ = false;
    quietReads_ = 0;
    if (!valid(handle)) {
      call.status = kInvalidHandle;
    } else if (failNextWrite) {
      failNextWrite = false;
      call.status = kIoError;
    } else {
      written = size;
    }
    calls.push_back(std::move(call));
    return calls.back().status;
  }

  // The link reads up to a thousand times for one answer. The sanitizer's check of this object's
  // type on every member that this and logRead touch took a twentieth of the target's time; the
  // check stays on the link and everything else of the recorder's.
  __attribute__((no_sanitize("vptr"))) Status read(Handle handle, std::uint8_t* buffer,
                                                   std::uint32_t wanted,
                                                   std::uint32_t& got) override {
    got = 0;
    // The quiet reads, up to a thousand in a row while the link waits for an answer, each getting
    // nothing: the same as below, without the copies.
    if (quietReads_ > 0 && scripted && !streaming_ && waiting.empty() && valid(handle)) {
      --quietReads_;
      if (wanted > 0) clock_.advanceMs(device::kRunReadTimeoutMs);
      logRead(kOk, wanted, {});
      return kOk;
    }
    Status status = kOk;
    if (!valid(handle)) {
      status = kInvalidHandle;
    } else if (!arrive()) {
      status = kIoError;
    } else if (streaming_) {
      if (--streamReadsLeft_ == 0) streaming_ = false;
      // All it asks for: what arrived before, then the stream's bytes.
      const std::size_t before = std::min<std::size_t>(wanted, waiting.size());
      std::copy_n(waiting.begin(), before, buffer);
      std::fill(buffer + before, buffer + wanted, std::uint8_t(0x90 + calls.size()));
      waiting.erase(waiting.begin(), waiting.begin() + std::ptrdiff_t(before));
      got = wanted;
      logRead(status, wanted, {buffer, wanted});
      return status;
    }
    const std::size_t n = status == kOk ? std::min<std::size_t>(wanted, waiting.size()) : 0;
    // A read that does not get all it asked for waits out its time-out.
    if (status == kOk && n < wanted) clock_.advanceMs(device::kRunReadTimeoutMs);
    const auto arrived = waiting.begin() + std::ptrdiff_t(n);
    std::copy(waiting.begin(), arrived, buffer);
    waiting.erase(waiting.begin(), arrived);
    got = std::uint32_t(n);
    logRead(status, wanted, {buffer, n});
    return status;
  }

 private:
  static constexpr Handle kHandle = 0x51;

  bool valid(Handle handle) const { return open_ && handle == kHandle; }
  // The long runs of reads that get nothing, or all a streaming unit gives, are kept as one. (No
  // type check, as for read.)
  __attribute__((no_sanitize("vptr"))) void logRead(Status status, std::uint32_t wanted,
                                                    std::span<const std::uint8_t> bytes) {
    const auto n = std::uint32_t(bytes.size());
    if (calls.size() > firstOfOperation) {
      Call& last = calls.back();
      if (last.kind == Call::kRead && last.status == status && last.wanted == wanted &&
          last.got == n && (n > kKeptReadBytes || sameBytes(last.bytes, bytes))) {
        ++last.times;
        return;
      }
    }
    calls.push_back({Call::kRead, status, wanted, n,
                     n > kKeptReadBytes ? std::string() : std::string(bytes.begin(), bytes.end())});
  }
  Status other(Status status) {
    calls.push_back({Call::kOther, status, 0, 0, {}});
    return status;
  }
  // What arrives for one read; false when the read fails.
  bool arrive() {
    if (!scripted || streaming_) return true;
    if (quietReads_ > 0) {
      --quietReads_;
      return true;
    }
    if (script_.ended()) return false;
    const std::uint8_t control = script_.next();
    if (control < 0x40) {
      for (int i = 0; i < control && !script_.ended(); ++i) waiting.push_back(script_.next());
    } else if (control < 0x80) {
      quietReads_ = control == 0x7F ? 999 : control & 0x3F;
    } else if (control < 0x90) {
      return false;
    } else if (control < 0xA0) {
      streaming_ = true;
      streamReadsLeft_ = 1 + 4 * ((control & 0x0F) + 1);
    }
    return true;
  }

  Script& script_;
  base::VirtualClock& clock_;
  bool open_ = false;
  bool streaming_ = false;
  int streamReadsLeft_ = 0;
  int quietReads_ = 0;
};

// The protocol, worked out from the calls one operation made. Each step takes the calls it
// expects from the front; the first call that is not the expected one is a fault.
class Protocol {
 public:
  explicit Protocol(std::span<const Call> calls) : calls_(calls) {}

  std::string fault;
  bool present = true;  // what the operation left of the unit's present flag

  enum class Clears { kNothing, kOnWrite, kOnWriteOrRead };
  struct Reply {
    bool ok = false;
    std::optional<std::uint8_t> value;
  };

  bool allTaken() const { return at_ == calls_.size() && repeat_ == 0; }
  std::size_t taken() const { return at_; }

  static Bytes registerFrame(std::uint8_t code, std::uint8_t value) {
    return {0xFD, 0xFD, 0xF0, 0x52, code, value, 0xFD};
  }
  static Bytes streamFrame(bool read, std::uint8_t value) {
    return {0xFD, 0xFD, 0xF0, 0x42, std::uint8_t((value & 0x7F) | (read ? 0x80 : 0)), 0xFD};
  }

  // A two-byte command: the frame in one write, then the answer.
  Reply twoByte(const Bytes& frame, std::size_t valueAt, std::size_t ackAt, Clears clears) {
    if (!write(frame)) {
      if (clears != Clears::kNothing) present = false;
      return {};
    }
    Bytes answer;
    switch (gather(2, answer)) {
      case Gathered::kFailed:
        if (clears == Clears::kOnWriteOrRead) present = false;
        return {};
      case Gathered::kIncomplete:
        return {};
      case Gathered::kComplete:
        break;
    }
    return {answer[ackAt] == 0xB5, answer[valueAt]};
  }
  Reply readRegister(std::uint8_t letter, Clears clears) {
    return twoByte(registerFrame(letter | 0x80, 0), 1, 0, clears);
  }
  Reply streamControl(bool read, std::uint8_t value) {
    return twoByte(streamFrame(read, value), 0, 1, Clears::kOnWrite);
  }

  std::optional<Bytes> version() {
    // The receive side is emptied first: reads of 32 bytes while they get any.
    for (int reads = 0; reads < 1001; ++reads) {
      const Call* call = take(Call::kRead);
      if (!call) return std::nullopt;
      if (call->wanted != 32) {
        fault = "the version query emptied the receive side " + std::to_string(call->wanted) +
                " bytes at a time";
        return std::nullopt;
      }
      if (call->status != D2xx::kOk) {
        present = false;
        return std::nullopt;
      }
      if (call->got == 0) break;
    }
    if (!write({0xFD, 0xFD, 0xF0, 0x56, 0xFD})) {
      present = false;
      return std::nullopt;
    }
    Bytes answer;
    switch (gather(33, answer)) {
      case Gathered::kFailed:
        present = false;
        return std::nullopt;
      case Gathered::kIncomplete:
        return std::nullopt;
      case Gathered::kComplete:
        return answer;
    }
    return std::nullopt;
  }

  std::optional<std::uint32_t> unitNumber() {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) {
      const Reply reply = readRegister(std::uint8_t(0x58 + i), Clears::kOnWriteOrRead);
      if (!reply.ok) return std::nullopt;
      number = number * 256 + *reply.value;
    }
    return number;
  }

  void stopStream() {
    const Reply running = streamControl(true, 0);
    if (running.value && *running.value != 0) streamControl(false, 0);
  }
  bool restartStream() {
    stopStream();
    return streamControl(false, 0x4D).ok;
  }

  // Takes every remaining call: for operations whose calls are not worked out here.
  bool anyFailed() {
    bool failed = false;
    for (; at_ < calls_.size(); ++at_) failed = failed || calls_[at_].status != D2xx::kOk;
    repeat_ = 0;
    return failed;
  }

 private:
  enum class Gathered { kComplete, kIncomplete, kFailed };

  // The next call, one read of a run at a time.
  const Call* take(Call::Kind kind) {
    if (!fault.empty()) return nullptr;
    if (at_ >= calls_.size()) {
      fault = std::string("a ") + (kind == Call::kRead ? "read" : "write") + " is missing";
      return nullptr;
    }
    const Call& call = calls_[at_];
    if (call.kind != kind) {
      fault = "call " + std::to_string(at_) + " is not the " +
              (kind == Call::kRead ? "read" : "write") + " the protocol makes next";
      return nullptr;
    }
    lastTaken_ = at_;
    if (++repeat_ == call.times) {
      repeat_ = 0;
      ++at_;
    }
    return &call;
  }

  bool write(const Bytes& frame) {
    const Call* call = take(Call::kWrite);
    if (!call) return false;
    if (!sameBytes(call->bytes, frame)) {
      fault = "call " + std::to_string(lastTaken_) + " wrote another frame";
      return false;
    }
    return call->status == D2xx::kOk;
  }

  // Reads until `need` bytes are there, each read asking for the bytes still missing; more than
  // 1001 counted reads is no answer.
  Gathered gather(std::size_t need, Bytes& answer) {
    int attempts = 0;
    while (true) {
      const Call* call = take(Call::kRead);
      if (!call) return Gathered::kFailed;
      if (call->wanted != need - answer.size()) {
        fault = "call " + std::to_string(lastTaken_) + " asked for " +
                std::to_string(call->wanted) + " bytes with " +
                std::to_string(need - answer.size()) + " missing";
        return Gathered::kFailed;
      }
      if (call->status != D2xx::kOk) return Gathered::kFailed;
      if (call->got != call->bytes.size()) {
        fault = "call " + std::to_string(lastTaken_) + " got more bytes than an answer has";
        return Gathered::kFailed;
      }
      answer.insert(answer.end(), call->bytes.begin(), call->bytes.end());
      if (++attempts > 1001) return Gathered::kIncomplete;
      if (answer.size() >= need) return Gathered::kComplete;
    }
  }

  std::span<const Call> calls_;
  std::size_t at_ = 0;
  std::uint32_t repeat_ = 0;  // reads of calls_[at_] already taken
  std::size_t lastTaken_ = 0;
};

constexpr std::array<std::uint8_t, 6> kRegisterLetters = {0x72, 0x73, 0x74, 0x78, 0x79, 0x7A};

inline std::string describe(const char* what, const Protocol::Reply& expected,
                            const device::CommandReply& got) {
  auto text = [](bool ok, const std::optional<std::uint8_t>& v) {
    return std::string(ok ? "ok" : "failed") + (v ? " value " + std::to_string(*v) : "");
  };
  return std::string(what) + ": " + text(got.ok, got.value) + ", the protocol gives " +
         text(expected.ok, expected.value);
}

inline bool same(const Protocol::Reply& expected, const device::CommandReply& got) {
  return expected.ok == got.ok && expected.value == got.value;
}

// Runs one operation and checks it; "" when it followed the protocol.
inline std::string runOperation(Script& script, ScriptedUnit& unit, device::UnitLink& link) {
  using device::Register;
  using Clears = Protocol::Clears;
  const std::uint8_t command = script.next();
  const int selector = command >> 5;
  const int index = selector == 3 ? 1 : selector == 7 ? 4 : 0;
  const bool wasPresent = link.isPresent(index);
  unit.failNextWrite = (command & 0x10) != 0;
  const std::size_t before = unit.calls.size();
  unit.firstOfOperation = before;

  std::string fault;
  bool expectedPresent = wasPresent;
  auto check = [&](Protocol& p) {
    if (!p.fault.empty()) return;
    if (!p.allTaken()) {
      p.fault = "call " + std::to_string(p.taken()) + " is one the protocol does not make";
    }
    if (!p.present) expectedPresent = false;
  };
  // Made after each operation: the operation's calls may move the log.
  Protocol p{std::span<const Call>()};
  const int op = command & 0x0F;

  if (index == 4) {
    // An index outside 0-3 fails at once, before any call.
    switch (op) {
      case 0:
        if (link.queryVersion(index)) fault = "a version from unit 5";
        break;
      case 10:
        if (link.readUnitNumber(index)) fault = "a number from unit 5";
        break;
      case 13:
        if (link.setUpUnit(index).ok()) fault = "unit 5 set up";
        break;
      default:
        if (link.readRegister(Register::kEncoderMode, index).value) fault = "a value from unit 5";
        break;
    }
    if (unit.calls.size() != before) fault = "calls made for unit 5";
    unit.failNextWrite = false;
    return fault;
  }

  if (op == 0) {
    const auto got = link.queryVersion(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const auto expected = p.version();
    check(p);
    if (p.fault.empty() && (got.has_value() != expected.has_value() ||
                            (got && !std::equal(got->begin(), got->end(), expected->begin())))) {
      fault = "queryVersion: other answer than the protocol's";
    }
    if (got && (*got)[0] == 0xB5) {
      device::protocol::versionAllowsSettingsWrite((*got)[13], (*got)[15]);
    }
  } else if (op >= 1 && op <= 6) {
    const auto reg = static_cast<Register>(op - 1);
    const device::CommandReply got = link.readRegister(reg, index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const Protocol::Reply expected =
        p.readRegister(kRegisterLetters[std::size_t(op - 1)],
                       reg == Register::kEncoderMode ? Clears::kOnWriteOrRead : Clears::kNothing);
    check(p);
    if (p.fault.empty() && !same(expected, got)) fault = describe("readRegister", expected, got);
    if (got.value) {
      const std::uint8_t v = *got.value;
      if (device::protocol::varIndex(v, 2) > 3) fault = "a VAR index above 3";
      const auto delay = device::protocol::varOffDelaySeconds(v);
      const bool valid = (v & 0xF0) == 0x50;
      if (delay.has_value() != (!valid || (v & 0x0F) < 4)) fault = "VAR delay of an odd code";
    }
  } else if (op == 7) {
    const std::size_t which = script.next() % kRegisterLetters.size();
    const std::uint8_t value = script.next();
    const device::CommandReply got = link.writeRegister(static_cast<Register>(which), value, index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const Protocol::Reply expected =
        p.twoByte(Protocol::registerFrame(kRegisterLetters[which], value), 1, 0,
                  which == 0 ? Clears::kOnWriteOrRead : Clears::kNothing);
    check(p);
    if (p.fault.empty() && !same(expected, got)) fault = describe("writeRegister", expected, got);
  } else if (op == 8) {
    const device::CommandReply got = link.readStreamControl(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const Protocol::Reply expected = p.streamControl(true, 0);
    check(p);
    if (p.fault.empty() && !same(expected, got)) {
      fault = describe("readStreamControl", expected, got);
    }
  } else if (op == 9) {
    const std::uint8_t value = script.next();
    const device::CommandReply got = link.writeStreamControl(value, index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const Protocol::Reply expected = p.streamControl(false, value);
    check(p);
    if (p.fault.empty() && !same(expected, got)) {
      fault = describe("writeStreamControl", expected, got);
    }
  } else if (op == 10) {
    const auto got = link.readUnitNumber(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const auto expected = p.unitNumber();
    check(p);
    if (p.fault.empty() && got != expected) fault = "readUnitNumber: other number";
  } else if (op == 11) {
    link.stopStream(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    p.stopStream();
    check(p);
  } else if (op == 12) {
    const bool got = link.restartStream(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    const bool expected = p.restartStream();
    check(p);
    if (p.fault.empty() && got != expected) fault = "restartStream: other result";
  } else if (op == 13) {
    const device::UnitSetUp got = link.setUpUnit(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    device::UnitSetUp expected;
    const Protocol::Reply mode = p.readRegister(0x72, Clears::kOnWriteOrRead);
    if (!mode.ok) {
      expected.failure = device::SetUpFailure::kEncoderMode;
    } else {
      expected.audioMode = mode.value;
      const auto answer = p.version();
      if (!answer || (*answer)[0] != 0xB5) {
        expected.failure = device::SetUpFailure::kVersion;
      } else {
        const Protocol::Reply delay = p.readRegister(0x79, Clears::kNothing);
        if (!delay.ok) {
          expected.failure = device::SetUpFailure::kTurnOffDelay;
        } else {
          const std::uint8_t v = *delay.value;
          const int i = (v & 0xF0) == 0x50 ? v & 0x0F : 1;
          if (i < 4) expected.varOffDelaySec = std::array{4, 12, 32, 100}[std::size_t(i)];
          p.restartStream();
        }
      }
    }
    check(p);
    if (p.fault.empty() &&
        (got.failure != expected.failure || got.audioMode != expected.audioMode ||
         got.varOffDelaySec != expected.varOffDelaySec)) {
      fault = "setUpUnit: another outcome than the protocol's";
    }
  } else if (op == 14) {
    const std::uint32_t n = 1 + script.next() * 8u;
    std::vector<std::uint8_t> buffer(n);
    const std::uint32_t got = link.readStream(buffer.data(), n, index);
    p = Protocol(std::span(unit.calls).subspan(before));
    if (got > n) fault = "readStream: more bytes than asked for";
    if (p.anyFailed()) expectedPresent = false;
  } else {
    const bool reopened = link.reopenUnit(index);
    p = Protocol(std::span(unit.calls).subspan(before));
    p.anyFailed();
    expectedPresent = reopened;
  }

  unit.failNextWrite = false;
  if (!p.fault.empty()) return p.fault;
  if (!fault.empty()) return fault;
  if (link.isPresent(index) != expectedPresent) {
    return std::string("the unit is ") + (link.isPresent(index) ? "" : "not ") +
           "present after operation " + std::to_string(op) + ", the protocol says otherwise";
  }
  return {};
}

}  // namespace unit_answers_fuzz

inline std::string unitAnswersFuzzCheck(const std::uint8_t* data, std::size_t size,
                                        const std::filesystem::path& /*scratch*/) {
  using namespace unit_answers_fuzz;
  Script script{data, size};
  base::VirtualClock clock;
  static std::vector<Call> log;
  ScriptedUnit unit(script, clock, log);
  device::UnitLink link(unit, clock);
  // The opening's stop command is answered at once.
  unit.waiting = {0x00, 0xB5};
  if (!link.openAll()) return "the unit does not open";
  unit.scripted = true;
  int operation = 0;
  while (!script.ended()) {
    const std::size_t at = script.at;
    if (std::string fault = runOperation(script, unit, link); !fault.empty()) {
      return "operation " + std::to_string(operation) + " (input byte " + std::to_string(at) +
             "): " + fault;
    }
    ++operation;
  }
  return {};
}

}  // namespace parvolin::fuzz
