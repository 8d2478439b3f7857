#include "device/stream_framing.h"

#include <cstring>

namespace parvolin::device {

FramingResult frameRead(UnitStreamBuffer& buffer, std::size_t n, const RecordSink& sink) {
  FramingResult result;
  if (n == 0) return result;
  std::uint8_t* const data = buffer.bytes.data();
  const std::size_t end = buffer.writePos + n;
  std::size_t q = 0;
  while (q < end) {
    const std::uint8_t port = data[q];
    if (port > kMaxPortByte) {
      // The carried bytes are dropped too: parsed again with the next read they would join a
      // record that is not theirs.
      result.badPortByte = true;
      result.droppedBytes = end - q;
      buffer.writePos = 0;
      return result;
    }
    if (q + 1 == end) break;
    const std::uint8_t code = data[q + 1];
    const std::size_t length = payloadLengthFor(code);
    if (end - q - kRecordHeaderSize < length) break;
    sink(StreamRecord{port, code, {data + q + kRecordHeaderSize, length}});
    ++result.delivered;
    q += kRecordHeaderSize + length;
  }
  // Carry the partial record (possibly nothing) over to the buffer start.
  const std::size_t rest = end - q;
  if (rest > 0 && q > 0) std::memmove(data, data + q, rest);
  buffer.writePos = rest;
  return result;
}

}  // namespace parvolin::device
