// The unit commands of UnitLink: version query, stream control byte, registers, unit number.
#include <algorithm>

#include "device/unit_link.h"
#include "device/unit_protocol.h"

namespace parvolin::device {

using protocol::Access;

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

CommandReply UnitLink::twoByteCommand(const std::uint8_t* frame, std::uint32_t frameSize,
                                      std::size_t valueAt, std::size_t ackAt, int unit,
                                      Clears clears) {
  const D2xx::Handle h = liveHandle(unit);
  if (!writeFrame(h, frame, frameSize)) {
    if (clears != Clears::kNothing) present_[unit] = 0;
    return {};
  }
  std::array<std::uint8_t, protocol::kTwoByteAnswerSize> answer{};
  switch (readAnswer(h, answer.data(), protocol::kTwoByteAnswerSize)) {
    case AnswerOutcome::kReadFailed:
      if (clears == Clears::kOnWriteOrReadFailure) present_[unit] = 0;
      return {};
    case AnswerOutcome::kIncomplete:
      return {};
    case AnswerOutcome::kComplete:
      break;
  }
  // The value byte is delivered even when the acknowledge byte is wrong.
  return {answer[ackAt] == protocol::kAck, answer[valueAt]};
}

CommandReply UnitLink::registerCommand(std::uint8_t code, std::uint8_t value, int unit,
                                       Clears clears) {
  if (!validUnit(unit)) return {};
  const auto frame = protocol::registerFrame(code, value);
  return twoByteCommand(frame.data(), frame.size(), 1, 0, unit, clears);
}

namespace {

// Transport failures of the audio mode register clear the present flag; those of the other
// registers do not.
bool clearsPresent(Register reg) {
  return reg == Register::kEncoderMode;
}

}  // namespace

CommandReply UnitLink::readRegister(Register reg, int unit) {
  return registerCommand(protocol::registerCode(protocol::registerLetter(reg), Access::kRead), 0,
                         unit,
                         clearsPresent(reg) ? Clears::kOnWriteOrReadFailure : Clears::kNothing);
}

CommandReply UnitLink::writeRegister(Register reg, std::uint8_t value, int unit) {
  return registerCommand(protocol::registerCode(protocol::registerLetter(reg), Access::kWrite),
                         value, unit,
                         clearsPresent(reg) ? Clears::kOnWriteOrReadFailure : Clears::kNothing);
}

CommandReply UnitLink::readStreamControl(int unit) {
  if (!validUnit(unit)) return {};
  const auto frame = protocol::streamControlFrame(Access::kRead, 0);
  return twoByteCommand(frame.data(), frame.size(), 0, 1, unit, Clears::kOnWriteFailure);
}

CommandReply UnitLink::writeStreamControl(std::uint8_t value, int unit) {
  if (!validUnit(unit)) return {};
  const auto frame = protocol::streamControlFrame(Access::kWrite, value);
  return twoByteCommand(frame.data(), frame.size(), 0, 1, unit, Clears::kOnWriteFailure);
}

std::optional<VersionAnswer> UnitLink::queryVersion(int unit) {
  if (!validUnit(unit)) return std::nullopt;
  const D2xx::Handle h = liveHandle(unit);
  // Empty the receive side first. A unit that streams never runs dry, so the flush is bounded
  // and the query goes on as if the queue were empty.
  std::array<std::uint8_t, kFlushBlockSize> scratch;
  for (int reads = 0; reads < kMaxDrainReads; ++reads) {
    std::uint32_t got = 0;
    if (d2xx_.read(h, scratch.data(), kFlushBlockSize, got) != D2xx::kOk) {
      present_[unit] = 0;
      return std::nullopt;
    }
    if (got == 0) break;
  }
  const auto frame = protocol::versionFrame();
  if (!writeFrame(h, frame.data(), frame.size())) {
    present_[unit] = 0;
    return std::nullopt;
  }
  VersionAnswer answer{};
  switch (readAnswer(h, answer.data(), protocol::kVersionAnswerSize)) {
    case AnswerOutcome::kReadFailed:
      present_[unit] = 0;
      return std::nullopt;
    case AnswerOutcome::kIncomplete:
      return std::nullopt;
    case AnswerOutcome::kComplete:
      break;
  }
  return answer;
}

std::optional<std::uint32_t> UnitLink::readUnitNumber(int unit) {
  std::uint32_t number = 0;
  // The most significant byte is asked for first.
  for (int i = protocol::kUnitNumberBytes - 1; i >= 0; --i) {
    const auto letter = static_cast<std::uint8_t>(protocol::kUnitNumberRegister0 + i);
    const CommandReply reply = registerCommand(protocol::registerCode(letter, Access::kRead), 0,
                                               unit, Clears::kOnWriteOrReadFailure);
    if (!reply) return std::nullopt;
    number = (number << 8) | *reply;
  }
  return number;
}

}  // namespace parvolin::device
