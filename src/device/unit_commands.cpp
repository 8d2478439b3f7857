// The unit commands of UnitLink: version query, stream control byte, registers, unit number.
#include <algorithm>

#include "device/unit_link.h"
#include "device/unit_protocol.h"

namespace parvolin::device {

using protocol::Access;

namespace {
constexpr Access accessFor(bool read) {
  return read ? Access::kRead : Access::kWrite;
}
}  // namespace

bool UnitLink::writeFrame(D2xx::Handle h, const std::uint8_t* frame, std::uint32_t size) {
  std::uint32_t written = 0;
  // A frame that went out in part is as good as none: the unit cannot answer it.
  return d2xx_.write(h, frame, size, written) == D2xx::kOk && written == size;
}

// Reads until `size` answer bytes are in `answer`, each read asking only for the bytes still
// missing. An answer completed by the 1001st counted read is complete; otherwise a 1002nd read
// is made and the answer is incomplete. Never stores more than `size` bytes.
UnitLink::AnswerOutcome UnitLink::readAnswer(D2xx::Handle h, std::uint8_t* answer,
                                             std::uint32_t size) {
  std::uint32_t total = 0;
  int attempts = 0;
  while (true) {
    std::uint32_t got = 0;
    if (d2xx_.read(h, answer + total, size - total, got) != D2xx::kOk) {
      return AnswerOutcome::kReadFailed;
    }
    total += std::min(got, size - total);
    ++attempts;
    if (attempts > kMaxAnswerReads) return AnswerOutcome::kIncomplete;
    if (total >= size) return AnswerOutcome::kComplete;
  }
}

bool UnitLink::twoByteCommand(const std::uint8_t* frame, std::uint32_t frameSize,
                              std::size_t valueAt, std::size_t ackAt, std::uint8_t& value, int unit,
                              Clears clears) {
  const D2xx::Handle h = liveHandle(unit);
  if (!writeFrame(h, frame, frameSize)) {
    if (clears != Clears::kNothing) present[unit] = 0;
    return false;
  }
  std::array<std::uint8_t, protocol::kTwoByteAnswerSize> answer{};
  switch (readAnswer(h, answer.data(), protocol::kTwoByteAnswerSize)) {
    case AnswerOutcome::kReadFailed:
      if (clears == Clears::kOnWriteOrReadFailure) present[unit] = 0;
      return false;
    case AnswerOutcome::kIncomplete:
      return false;
    case AnswerOutcome::kComplete:
      break;
  }
  // The value byte is delivered even when the acknowledge byte is wrong.
  value = answer[valueAt];
  return answer[ackAt] == protocol::kAck;
}

bool UnitLink::registerCommand(std::uint8_t letter, bool read, std::uint8_t& value, int unit,
                               Clears clears) {
  if (!validUnit(unit)) return false;
  const auto frame =
      protocol::registerFrame(protocol::registerCode(letter, accessFor(read)), value);
  return twoByteCommand(frame.data(), frame.size(), 1, 0, value, unit, clears);
}

bool UnitLink::queryVersion(std::uint8_t* buffer, int unit) {
  if (!validUnit(unit)) return false;
  const D2xx::Handle h = liveHandle(unit);
  // Empty the receive side first. A unit that streams never runs dry, so the flush is bounded
  // and the query goes on as if the queue were empty.
  for (int reads = 0; reads < kMaxDrainReads; ++reads) {
    std::uint32_t got = 0;
    if (d2xx_.read(h, buffer, kFlushBlockSize, got) != D2xx::kOk) {
      present[unit] = 0;
      return false;
    }
    if (got == 0) break;
  }
  const auto frame = protocol::versionFrame();
  if (!writeFrame(h, frame.data(), frame.size())) {
    present[unit] = 0;
    return false;
  }
  switch (readAnswer(h, buffer, protocol::kVersionAnswerSize)) {
    case AnswerOutcome::kReadFailed:
      present[unit] = 0;
      return false;
    case AnswerOutcome::kIncomplete:
      return false;
    case AnswerOutcome::kComplete:
      break;
  }
  return true;
}

bool UnitLink::streamControl(bool read, std::uint8_t& value, int unit) {
  if (!validUnit(unit)) return false;
  value &= protocol::kStreamValueMask;
  const auto frame = protocol::streamControlFrame(accessFor(read), value);
  return twoByteCommand(frame.data(), frame.size(), 0, 1, value, unit, Clears::kOnWriteFailure);
}

bool UnitLink::encoderMode(bool read, std::uint8_t& value, int unit) {
  return registerCommand(protocol::kEncoderModeRegister, read, value, unit,
                         Clears::kOnWriteOrReadFailure);
}
bool UnitLink::callerIdMode(bool read, std::uint8_t& value, int unit) {
  return registerCommand(protocol::kCallerIdModeRegister, read, value, unit, Clears::kNothing);
}
bool UnitLink::varPorts(bool read, std::uint8_t& value, int unit) {
  return registerCommand(protocol::kVarPortsRegister, read, value, unit, Clears::kNothing);
}
bool UnitLink::varThreshold(bool read, std::uint8_t& value, int unit) {
  return registerCommand(protocol::kVarThresholdRegister, read, value, unit, Clears::kNothing);
}
bool UnitLink::varTurnOffDelay(bool read, std::uint8_t& value, int unit) {
  return registerCommand(protocol::kVarTurnOffDelayRegister, read, value, unit, Clears::kNothing);
}
bool UnitLink::varTimeout(bool read, std::uint8_t& value, int unit) {
  return registerCommand(protocol::kVarTimeoutRegister, read, value, unit, Clears::kNothing);
}

bool UnitLink::readUnitNumber(std::uint32_t& number, int unit) {
  std::uint32_t result = 0;
  // The most significant byte is asked for first.
  for (int i = protocol::kUnitNumberBytes - 1; i >= 0; --i) {
    std::uint8_t byte = 0;
    const auto letter = static_cast<std::uint8_t>(protocol::kUnitNumberRegister0 + i);
    if (!registerCommand(letter, true, byte, unit, Clears::kOnWriteOrReadFailure)) return false;
    result = (result << 8) | byte;
  }
  number = result;
  return true;
}

}  // namespace parvolin::device
