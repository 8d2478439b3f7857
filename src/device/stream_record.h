#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/audio_block.h"

namespace parvolin::device {

// Event codes of the unit stream.
enum StreamEvent : std::uint8_t {
  kCallerIdA = 1,
  kCallerIdB = 2,
  kRingEvent = 3,
  kDialOutEvent = 4,
  kAnsweringEvent = 5,
  kAudioEvent = 6,
  kCallEndEvent = 7,
  kCalloutEndEvent = 8,
  kDigitEvent = 9,
  kVarStartEvent = 10,
  kVarEndEvent = 11,
};

using base::kAudioBlockSize;
inline constexpr std::size_t kNumberPayloadSize = 32;
inline constexpr std::size_t kRecordHeaderSize = 2;  // port byte, event code
inline constexpr std::uint8_t kMaxPortByte = 3;

// Payload length that follows the port byte and the code; 0 for unknown codes.
constexpr std::size_t payloadLengthFor(std::uint8_t code) {
  switch (code) {
    case kCallerIdA:
    case kCallerIdB:
    case kCallEndEvent:
    case kCalloutEndEvent:
    case kVarEndEvent:
      return kNumberPayloadSize;
    case kAudioEvent:
      return kAudioBlockSize;
    case kDigitEvent:
      return 1;
    default:
      return 0;
  }
}

// One record cut from a unit's stream. `payload` points into the unit's stream buffer and is
// valid only during the delivery call.
struct StreamRecord {
  std::uint8_t port = 0;  // 0-3, the port of the unit
  std::uint8_t code = 0;
  std::span<const std::uint8_t> payload;
};

}  // namespace parvolin::device
