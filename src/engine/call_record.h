#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "base/little_endian.h"

namespace parvolin::engine {

inline constexpr std::size_t kCallRecordSize = 32;
inline constexpr std::size_t kCallTextSize = 22;

// callType bits.
inline constexpr std::uint8_t kAnsweredBit = 0x01;
inline constexpr std::uint8_t kIncomingBit = 0x02;
inline constexpr std::uint8_t kRangBit = 0x04;
inline constexpr std::uint8_t kOutgoingBit = 0x08;
// callType values that have a meaning of their own.
inline constexpr std::uint8_t kCallIdle = 0;
inline constexpr std::uint8_t kCallAudioOnly = 1;
inline constexpr std::uint8_t kCallCallerNumber = 2;
inline constexpr std::uint8_t kCallRinging = 6;
inline constexpr std::uint8_t kCallAnswered = 7;
inline constexpr std::uint8_t kCallOutgoing = 9;
inline constexpr std::uint8_t kCallVar = 11;

// One call: the live state of a port during the call and, at its end, the call log record.
// On disk (little-endian):
//   0  u8   portIndex      2  char[22] callText   24 u32 startTime
//   1  u8   callType                              28 u16 durationSec   30 u16 firstAudioSec
struct CallRecord {
  std::uint8_t portIndex = 0;
  std::uint8_t callType = kCallIdle;
  std::array<char, kCallTextSize> callText = blankText();
  std::uint32_t startTime = 0;      // seconds since 1970-01-01 00:00 UTC
  std::uint16_t durationSec = 0;    // taken to 16 bits
  std::uint16_t firstAudioSec = 0;  // 0 while the call has no audio file

  static constexpr std::array<char, kCallTextSize> blankText() {
    std::array<char, kCallTextSize> t{};
    t.fill(' ');
    return t;
  }
  std::string_view text() const { return {callText.data(), callText.size()}; }
  bool isAnswered() const { return (callType & kAnsweredBit) != 0; }

  bool operator==(const CallRecord&) const = default;
};
static_assert(sizeof(CallRecord) == kCallRecordSize, "CallRecord is the 32-byte log record");
static_assert(offsetof(CallRecord, callText) == 2 && offsetof(CallRecord, startTime) == 24 &&
                  offsetof(CallRecord, durationSec) == 28 &&
                  offsetof(CallRecord, firstAudioSec) == 30,
              "CallRecord's fields lie where the log record has them");

inline std::array<std::uint8_t, kCallRecordSize> encodeCallRecord(const CallRecord& r) {
  std::array<std::uint8_t, kCallRecordSize> out{};
  out[0] = r.portIndex;
  out[1] = r.callType;
  std::memcpy(out.data() + 2, r.callText.data(), kCallTextSize);
  base::storeLe32(out.data() + 24, r.startTime);
  base::storeLe16(out.data() + 28, r.durationSec);
  base::storeLe16(out.data() + 30, r.firstAudioSec);
  return out;
}

inline CallRecord decodeCallRecord(std::span<const std::uint8_t, kCallRecordSize> in) {
  if constexpr (std::endian::native == std::endian::little) {
    // The record in memory is the record on disk: one copy, no field by field (the log readers
    // decode millions of records).
    std::array<std::uint8_t, kCallRecordSize> bytes;
    std::memcpy(bytes.data(), in.data(), kCallRecordSize);
    return std::bit_cast<CallRecord>(bytes);
  } else {
    CallRecord r;
    r.portIndex = in[0];
    r.callType = in[1];
    std::memcpy(r.callText.data(), in.data() + 2, kCallTextSize);
    r.startTime = base::loadLe32(in.data() + 24);
    r.durationSec = base::loadLe16(in.data() + 28);
    r.firstAudioSec = base::loadLe16(in.data() + 30);
    return r;
  }
}

}  // namespace parvolin::engine
