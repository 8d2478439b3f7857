#include "sim/emulated_unit.h"

#include <algorithm>
#include <cstring>

#include "device/digit_code.h"
#include "device/stream_record.h"
#include "device/unit_protocol.h"

namespace parvolin::sim {

using device::DigitTable;
using device::kCallerNumberDigits;
using device::kCallerNumberOffset;
using device::kDialledNumberDigits;
using device::kDialledNumberOffset;
using device::packDigits;
namespace {

using namespace device::protocol;

std::size_t frameLength(std::uint8_t letter) {
  switch (letter) {
    case kVersionCommand:
      return kVersionFrameSize;
    case kStreamControlCommand:
      return kStreamControlFrameSize;
    case kRegisterCommand:
      return kRegisterFrameSize;
    default:
      return 0;
  }
}

}  // namespace

device::VersionAnswer defaultVersionAnswer() {
  device::VersionAnswer v{};
  constexpr char kText[] = "PVL4-USB HW 1 2 FW 3.07 20240315";
  static_assert(sizeof(kText) - 1 == kVersionAnswerSize - 1);
  v[0] = kAck;
  std::memcpy(v.data() + 1, kText, kVersionAnswerSize - 1);
  v[kVersionByteA] = '1';
  v[kVersionByteB] = '2';
  return v;
}

EmulatedUnit::EmulatedUnit(UnitConfig config, base::Clock& clock, std::int64_t originMs)
    : config_(std::move(config)),
      clock_(clock),
      originMs_(originMs),
      plugged_(config_.pluggedAtStart),
      stored_(config_.registers),
      active_(config_.registers),
      unitNumber_(config_.unitNumber) {
  for (PortActivity& port : ports_) port.powerUp(active_.audioMode);
}

void EmulatedUnit::schedule(const SimEvent& event) {
  events_.emplace(event.atMs, event);
}

void EmulatedUnit::enableRandomCalls(std::uint32_t seed, std::int64_t fromMs,
                                     std::int64_t untilMs) {
  for (int port = 0; port < device::kPortsPerUnit; ++port)
    random_.emplace_back(seed, port, fromMs, untilMs);
}

void EmulatedUnit::advance() {
  advanceTo(scenarioNow());
}

void EmulatedUnit::generateRandomCalls(std::int64_t untilMs) {
  for (RandomCallPlayer& player : random_) {
    while (!player.finished() && player.nextCallMs() <= untilMs) {
      const bool varPort =
          varValueValid(active_.varPorts) && ((active_.varPorts >> player.port()) & 1);
      for (const SimEvent& e : player.takeNextCall(varPort)) schedule(e);
    }
  }
}

void EmulatedUnit::advanceTo(std::int64_t untilMs) {
  generateRandomCalls(untilMs);
  // Events and audio blocks in time order; at equal times a port's audio block goes first, so
  // that the last block of a talk precedes the call end that follows it.
  while (true) {
    std::int64_t blockMs = kNever;
    int blockPort = -1;
    for (int p = 0; p < device::kPortsPerUnit; ++p) {
      const std::int64_t due = ports_[static_cast<std::size_t>(p)].nextBlockMs();
      if (due < blockMs) {
        blockMs = due;
        blockPort = p;
      }
    }
    const std::int64_t eventMs = events_.empty() ? kNever : events_.begin()->first;
    if (std::min(blockMs, eventMs) > untilMs) break;
    if (blockMs <= eventMs) {
      std::array<std::uint8_t, device::kAudioBlockSize> block;
      ports_[static_cast<std::size_t>(blockPort)].produceBlock(block);
      emitRecord(static_cast<std::uint8_t>(blockPort), device::kAudioEvent, block);
    } else {
      const SimEvent event = events_.begin()->second;
      events_.erase(events_.begin());
      apply(event);
    }
  }
}

void EmulatedUnit::emitRecord(std::uint8_t port, std::uint8_t code,
                              std::span<const std::uint8_t> payload) {
  if (!plugged_ || streamControl_ != kStreamStart) return;
  const std::size_t size = device::kRecordHeaderSize + payload.size();
  // A record goes into the queue whole or not at all, so that an overflow never breaks the
  // framing of the records around it.
  if (stream_.size() + size > config_.queueCapacity) {
    droppedBytes_ += size;
    ++droppedRecords_;
    return;
  }
  stream_.push_back(port);
  stream_.push_back(code);
  stream_.insert(stream_.end(), payload.begin(), payload.end());
  if (code == device::kAudioEvent) ++audioBlocksQueued_;
}

void EmulatedUnit::apply(const SimEvent& event) {
  using Kind = SimEvent::Kind;
  if (event.isPortEvent()) {
    applyPortEvent(event);
    return;
  }
  const std::int64_t now = event.atMs;
  switch (event.kind) {
    case Kind::Unplug:
      unplug();
      break;
    case Kind::Replug:
    case Kind::Plug:
      replug();
      break;
    case Kind::PowerCycle:
      powerCycle();
      break;
    case Kind::Garbage:
      injectGarbage(static_cast<std::size_t>(event.value));
      break;
    case Kind::BadPort:
      injectBadPort(static_cast<std::uint8_t>(event.value));
      break;
    case Kind::Stall:
      stallUntilMs_ = now + event.durationMs;
      break;
    case Kind::Drip:
      dripUntilMs_ = now + event.durationMs;
      break;
    case Kind::NoAnswer:
      noAnswerUntilMs_ = now + event.durationMs;
      break;
    case Kind::WrongAck:
      wrongAckUntilMs_ = now + event.durationMs;
      wrongAckByte_ = static_cast<std::uint8_t>(event.value);
      break;
    case Kind::VersionByte:
      setVersionByte(static_cast<std::size_t>(event.index), static_cast<std::uint8_t>(event.value));
      break;
    default:
      break;
  }
}

void EmulatedUnit::applyPortEvent(const SimEvent& event) {
  using Kind = SimEvent::Kind;
  if (event.port < 0 || event.port > 3 || !plugged_) return;
  const auto port = static_cast<std::uint8_t>(event.port);
  PortActivity& activity = ports_[port];
  std::array<std::uint8_t, device::kNumberPayloadSize> number{};
  switch (event.kind) {
    case Kind::Ring:
      emitRecord(port, device::kRingEvent, {});
      break;
    case Kind::CallerId:
      // The scenario's reader let through only digits of the table, as many as fit, so the
      // packing cannot fail (here and below).
      static_cast<void>(packDigits(event.digits, DigitTable::A, kCallerNumberOffset,
                                   kCallerNumberDigits, number));
      emitRecord(port, event.idType == 'B' ? device::kCallerIdB : device::kCallerIdA, number);
      break;
    case Kind::Answer:
      emitRecord(port, device::kAnsweringEvent, {});
      break;
    case Kind::DialOut:
      emitRecord(port, device::kDialOutEvent, {});
      break;
    case Kind::Digit: {
      const std::uint8_t digit = static_cast<std::uint8_t>(event.value);
      emitRecord(port, device::kDigitEvent, std::span<const std::uint8_t>(&digit, 1));
      break;
    }
    case Kind::Talk:
      activity.startTalk(event.atMs, event.durationMs, event.source);
      break;
    case Kind::CallEnd:
      activity.endCall();
      static_cast<void>(packDigits(event.digits, DigitTable::A, kCallerNumberOffset,
                                   kCallerNumberDigits, number));
      emitRecord(port, device::kCallEndEvent, number);
      break;
    case Kind::CalloutEnd:
    case Kind::VarEnd:
      activity.endCall();
      static_cast<void>(packDigits(event.digits, DigitTable::B, kDialledNumberOffset,
                                   kDialledNumberDigits, number));
      emitRecord(port, event.kind == Kind::VarEnd ? device::kVarEndEvent : device::kCalloutEndEvent,
                 number);
      break;
    case Kind::VarStart:
      emitRecord(port, device::kVarStartEvent, {});
      break;
    default:
      break;
  }
}

void EmulatedUnit::receive(std::span<const std::uint8_t> bytes) {
  commandBytes_.insert(commandBytes_.end(), bytes.begin(), bytes.end());
  executeFrames();
}

void EmulatedUnit::executeFrames() {
  // Frames: FD FD F0, the command letter, zero to two parameter bytes, FD. Bytes that cannot
  // begin a frame are skipped one at a time until a frame lines up.
  while (!commandBytes_.empty()) {
    const std::size_t have = commandBytes_.size();
    const std::uint8_t* b = commandBytes_.data();
    bool skip = b[0] != kSync || (have >= 2 && b[1] != kSync) || (have >= 3 && b[2] != kFrameStart);
    const std::size_t length = have >= 4 ? frameLength(b[3]) : 0;
    if (!skip && have >= 4 && length == 0) skip = true;
    if (!skip && (have < 4 || have < length)) return;  // wait for the rest of the frame
    if (!skip && b[length - 1] != kFrameEnd) skip = true;
    if (skip) {
      commandBytes_.erase(commandBytes_.begin());
      continue;
    }
    const std::uint8_t letter = b[3];
    const std::uint8_t p1 = length > 5 ? b[4] : 0;
    const std::uint8_t p2 = length > 6 ? b[5] : 0;
    commandBytes_.erase(commandBytes_.begin(), commandBytes_.begin() + static_cast<long>(length));

    if (letter == kVersionCommand) {
      answer(config_.version, 0);
    } else if (letter == kStreamControlCommand) {
      if (!(p1 & kReadFlag)) streamControl_ = p1 & kStreamValueMask;
      const std::uint8_t reply[] = {streamControl_, kAck};
      answer(reply, 1);
    } else {
      const std::uint8_t code = p1 & static_cast<std::uint8_t>(~kReadFlag);
      const bool read = p1 & kReadFlag;
      std::uint8_t value = 0;
      if (code >= kUnitNumberRegister0 && code < kUnitNumberRegister0 + kUnitNumberBytes) {
        const int shift = 8 * (code - kUnitNumberRegister0);
        if (!read) {
          unitNumber_ =
              (unitNumber_ & ~(0xFFu << shift)) | (static_cast<std::uint32_t>(p2) << shift);
        }
        value = static_cast<std::uint8_t>(unitNumber_ >> shift);
      } else if (std::uint8_t* reg = registerFor(code)) {
        if (!read) *reg = p2;
        value = *reg;
      }
      // An unknown register is acknowledged with the value 0.
      const std::uint8_t reply[] = {kAck, value};
      answer(reply, 0);
    }
  }
}

void EmulatedUnit::answer(std::span<const std::uint8_t> bytes, std::size_t ackIndex) {
  const std::int64_t now = scenarioNow();
  if (now < noAnswerUntilMs_) return;
  const std::size_t first = answers_.size();
  answers_.insert(answers_.end(), bytes.begin(), bytes.end());
  if (now < wrongAckUntilMs_) answers_[first + ackIndex] = wrongAckByte_;
}

std::uint8_t* EmulatedUnit::registerFor(std::uint8_t letter) {
  switch (letter) {
    case kEncoderModeRegister:
      return &stored_.audioMode;
    case kCallerIdModeRegister:
      return &stored_.callerIdMode;
    case kVarPortsRegister:
      return &stored_.varPorts;
    case kVarThresholdRegister:
      return &stored_.varThreshold;
    case kVarTurnOffDelayRegister:
      return &stored_.varTurnOffDelay;
    case kVarTimeoutRegister:
      return &stored_.varTimeout;
    default:
      return nullptr;
  }
}

std::size_t EmulatedUnit::readable() const {
  const std::int64_t now = clock_.monotonicMs() - originMs_;
  if (!plugged_ || now < stallUntilMs_) return 0;
  const std::size_t all = answers_.size() + stream_.size();
  return now < dripUntilMs_ ? std::min<std::size_t>(all, 1) : all;
}

std::size_t EmulatedUnit::take(std::uint8_t* buffer, std::size_t max) {
  const std::size_t n = std::min(max, readable());
  std::size_t got = 0;
  while (got < n && !answers_.empty()) {
    buffer[got++] = answers_.front();
    answers_.pop_front();
  }
  const std::size_t fromStream = n - got;
  std::copy_n(stream_.begin(), fromStream, buffer + got);
  stream_.erase(stream_.begin(), stream_.begin() + static_cast<long>(fromStream));
  return n;
}

void EmulatedUnit::purgeReceiveSide() {
  answers_.clear();
  stream_.clear();
}

void EmulatedUnit::purgeTransmitSide() {
  commandBytes_.clear();
}

void EmulatedUnit::unplug() {
  plugged_ = false;
  streamControl_ = 0;
  purgeReceiveSide();
  purgeTransmitSide();
  for (PortActivity& port : ports_) port.endCall();
}

void EmulatedUnit::replug() {
  if (plugged_) return;
  plugged_ = true;
  ++plugSession_;
  powerCycle();
}

void EmulatedUnit::powerCycle() {
  active_ = stored_;
  streamControl_ = 0;
  purgeReceiveSide();
  purgeTransmitSide();
  stallUntilMs_ = dripUntilMs_ = noAnswerUntilMs_ = wrongAckUntilMs_ = -1;
  for (PortActivity& port : ports_) port.powerUp(active_.audioMode);
}

void EmulatedUnit::injectGarbage(std::size_t count) {
  for (std::size_t i = 0; i < count && stream_.size() < config_.queueCapacity; ++i) {
    noiseState_ ^= noiseState_ << 13;
    noiseState_ ^= noiseState_ >> 17;
    noiseState_ ^= noiseState_ << 5;
    stream_.push_back(static_cast<std::uint8_t>(noiseState_ >> 11));
  }
}

void EmulatedUnit::injectBadPort(std::uint8_t portByte) {
  if (stream_.size() + 2 > config_.queueCapacity) return;
  stream_.push_back(portByte);
  stream_.push_back(device::kRingEvent);
}

void EmulatedUnit::stallFor(std::int64_t ms) {
  stallUntilMs_ = scenarioNow() + ms;
}
void EmulatedUnit::dripFor(std::int64_t ms) {
  dripUntilMs_ = scenarioNow() + ms;
}
void EmulatedUnit::noAnswerFor(std::int64_t ms) {
  noAnswerUntilMs_ = scenarioNow() + ms;
}

void EmulatedUnit::wrongAckFor(std::int64_t ms, std::uint8_t ackByte) {
  wrongAckUntilMs_ = scenarioNow() + ms;
  wrongAckByte_ = ackByte;
}

void EmulatedUnit::setVersionByte(std::size_t index, std::uint8_t value) {
  if (index < config_.version.size()) config_.version[index] = value;
}

}  // namespace parvolin::sim
