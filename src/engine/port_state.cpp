#include "engine/port_state.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "device/digit_code.h"
#include "device/stream_record.h"

namespace parvolin::engine {
namespace {

constexpr std::array<const char*, kPortLineCount> kLineFormats = {
    "",
    " Port:  %d          Caller #",
    " Port:  %d          Ringing",
    " Port:  %d          Dial Out",
    " Port:  %d          Answering",
    " Port:  %d          VAR mode",
    " Port:  %d          Recording",
    " Port:  %d          ---------",
    " Port:  %d         Answered ",
    " Port:  %d       Un-Answered",
    " Port:  %d  Callout Finished",
    " Port:  %d  VAR     Finished",
    " Port:  %d            NONE",
    " Port:  %d            IDLE",
};

// Every line of every port, made once: the audio path switches lines on every block.
struct LineTable {
  std::array<std::array<std::string, kPortLineCount>, device::kMaxPorts> lines;
  LineTable() {
    for (std::size_t port = 0; port < lines.size(); ++port) {
      for (std::size_t line = 0; line < kLineFormats.size(); ++line) {
        char text[64];
        std::snprintf(text, sizeof text, kLineFormats[line], static_cast<int>(port) + 1);
        lines[port][line] = text;
      }
    }
  }
};

std::string callerNumber(std::span<const std::uint8_t> payload) {
  return device::unpackDigits(payload, device::kCallerNumberOffset, device::kCallerNumberDigits,
                              device::DigitTable::A);
}

// Copies `digits` into callText from its start; the rest of callText stays.
void putCallText(CallRecord& record, const std::string& digits) {
  std::copy_n(digits.begin(), std::min(digits.size(), record.callText.size()),
              record.callText.begin());
}

void startCall(PortState& port, std::uint8_t callType, std::int64_t now) {
  port.record.callType = callType;
  port.record.startTime = std::uint32_t(now);
}

}  // namespace

const std::string& portLine(PortLine line, int portIndex) {
  static const LineTable table;
  return table.lines[std::size_t(portIndex)][std::size_t(line)];
}

bool isRecordingShown(const PortState& port) {
  return port.line == PortLine::kRecording || port.line == PortLine::kRecordingSecond;
}

void applyCallEvent(PortState& port, std::uint8_t code, std::span<const std::uint8_t> payload,
                    std::int64_t now) {
  using namespace device;
  if (code == kDigitEvent) {
    const std::uint8_t d = payload.empty() ? 0 : payload[0];
    if (d == 10) {
      port.detailText += '0';
    } else if (d != 0) {
      port.detailText += std::to_string(d);
    }
    return;
  }
  if (isRecordingShown(port)) return;
  CallRecord& r = port.record;
  switch (code) {
    case kCallerIdA:
    case kCallerIdB:
      port.line = PortLine::kCallerNumber;
      port.detailText = kCallerCaption;
      startCall(port, kCallCallerNumber, now);
      {
        const std::string number = callerNumber(payload);
        port.detailText += number;
        putCallText(r, number);
      }
      break;
    case kRingEvent:
      port.line = PortLine::kRinging;
      if (r.callType == kCallIdle) startCall(port, kCallRinging, now);
      break;
    case kDialOutEvent:
      port.line = PortLine::kDialOut;
      port.detailText = kDialedCaption;
      startCall(port, kCallOutgoing, now);
      break;
    case kAnsweringEvent:
      port.line = PortLine::kAnswering;
      if (r.callType == kCallIdle) startCall(port, kCallRinging, now);
      r.callType |= kAnsweredBit;
      break;
    case kVarStartEvent:
      port.line = PortLine::kVarMode;
      port.detailText = kVarDialedCaption;
      startCall(port, kCallVar, now);
      break;
    default:
      break;
  }
}

void noteAudioBlock(PortState& port, std::int64_t now) {
  // The line alternates with every block.
  port.line = port.line == PortLine::kRecording ? PortLine::kRecordingSecond : PortLine::kRecording;
  if (port.record.callType == kCallIdle) port.record.startTime = std::uint32_t(now);
  port.record.callType |= kAnsweredBit;
}

std::uint16_t elapsedSeconds(std::int64_t now, std::uint32_t startTime) {
  const std::int64_t difference = now - std::int64_t(startTime);
  return difference < 0 ? 0 : std::uint16_t(difference);
}

void takeCallerNumber(CallRecord& record, std::span<const std::uint8_t> payload) {
  putCallText(record, callerNumber(payload));
  if (record.callText[0] == ' ') record.callText[0] = '?';
}

void takeDialledNumber(CallRecord& record, std::span<const std::uint8_t> payload) {
  putCallText(record, device::unpackDigits(payload, device::kDialledNumberOffset,
                                           device::kDialledNumberDigits, device::DigitTable::B));
}

bool isShortCall(std::uint8_t endCode, const CallRecord& record, std::int64_t lastedSec,
                 int varOffDelaySec) {
  // Below "0" in position 2 means a space there: fewer than three digits were dialled.
  constexpr int kMinimumCallSec = 8;
  if (endCode == device::kCalloutEndEvent) {
    return lastedSec < kMinimumCallSec || record.callText[2] < '0';
  }
  return lastedSec < std::int64_t(varOffDelaySec) + kMinimumCallSec;
}

void resetCall(PortState& port) {
  port.record.callType = kCallIdle;
  port.record.callText = CallRecord::blankText();
  port.record.firstAudioSec = 0;
  port.audioFill = 0;
  port.audioWriteFailed = false;
  port.audioLostBlocks = 0;
}

}  // namespace parvolin::engine
