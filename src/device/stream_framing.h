#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "device/stream_record.h"

namespace parvolin::device {

// One unit's stream buffer. Bytes [0, writePos) are the part of a record carried over from the
// previous read (at most 513 bytes); the next read is placed at writePos.
struct UnitStreamBuffer {
  static constexpr std::size_t kSize = 65536;
  static constexpr std::size_t kMaxRead = 2048;

  // Only the bytes before writePos, and those a read has just put behind them, hold anything:
  // the rest is never read, so the buffer is not cleared.
  std::array<std::uint8_t, kSize> bytes;
  std::size_t writePos = 0;

  std::uint8_t* readTarget() { return bytes.data() + writePos; }
};

struct FramingResult {
  std::size_t delivered = 0;     // records handed to the callback
  std::size_t droppedBytes = 0;  // bytes given up because of a port byte above 3
  bool badPortByte = false;
};

using RecordSink = std::function<void(const StreamRecord&)>;

// Cuts the bytes carried over plus the `n` bytes just read at writePos into records and hands
// each to `sink` before cutting the next. A partial record at the end is moved to the buffer
// start for the next read. A port byte above 3 drops the rest of the read and the carried bytes
// (writePos becomes 0); records delivered before it stay delivered. A read of 0 bytes leaves the
// buffer as it is.
FramingResult frameRead(UnitStreamBuffer& buffer, std::size_t n, const RecordSink& sink);

}  // namespace parvolin::device
