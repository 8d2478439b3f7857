#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/file_io.h"
#include "device/unit_link.h"
#include "engine/call_record.h"

namespace parvolin::engine {

inline constexpr char kCallLogName[] = "ParvolinLog.ZERU";

// Appends one record to the call log in `folder`, creating the log only when no file of that
// name exists (an existing log that cannot be opened is never replaced). A torn last record left
// by a crash (a length that is not a multiple of 32) is cut back to the last whole record first,
// so every record stays at a multiple of 32. A write that fails part-way is cut back as well.
// Returns the error that kept the record out of the log.
[[nodiscard]] std::error_code appendCallLog(const std::filesystem::path& folder,
                                            const CallRecord& record);

// Reads a call log record by record through a buffer of a fixed size, so that a log of any length
// is read in constant memory.
class CallLogReader {
 public:
  CallLogReader();
  // Opens the log: ENOENT when it does not exist, EISDIR for a folder, EINVAL for anything else
  // that is not a regular file.
  [[nodiscard]] std::error_code open(const std::filesystem::path& file);
  // The next whole record and the byte offset it starts at; false at the end of the file or after
  // a read error (error()).
  bool next(CallRecord& record, std::uint64_t& offset) {
    if (end_ - begin_ < kCallRecordSize && !fill()) return endOfRecords();
    record = decodeCallRecord(
        std::span<const std::uint8_t, kCallRecordSize>(buffer_.data() + begin_, kCallRecordSize));
    offset = offset_;
    begin_ += kCallRecordSize;
    offset_ += kCallRecordSize;
    return true;
  }
  // The read error that ended the records early; empty at a normal end.
  std::error_code error() const { return error_; }
  // After the end: the bytes after the last whole record (a record cut short), and where they
  // start.
  std::size_t tornBytes() const { return tornBytes_; }
  std::uint64_t tornOffset() const { return offset_; }

 private:
  // Moves the unread bytes to the front and reads after them; whether a whole record is there.
  bool fill();
  // Notes what is left after the last whole record; false.
  bool endOfRecords();

  base::FileHandle file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0, end_ = 0;  // unread bytes of buffer_
  std::uint64_t offset_ = 0;         // file offset of buffer_[begin_]
  bool atEnd_ = false;
  std::size_t tornBytes_ = 0;
  std::error_code error_;
};

// Whether the recorder writes calls of this type into the log.
constexpr bool isLoggedCallType(std::uint8_t callType) {
  switch (callType) {
    case kCallCallerNumber:
    case kCallCallerNumber | kAnsweredBit:
    case kCallRinging:
    case kCallAnswered:
    case kCallOutgoing:
    case kCallVar:
      return true;
    default:
      return false;
  }
}

// Whether a record read from a log can be one the recorder wrote: a port up to 16 and a call type
// the recorder logs.
inline bool isRealCall(const CallRecord& record) {
  return record.portIndex < device::kMaxPorts && isLoggedCallType(record.callType);
}

// Why a record read from a log cannot be one the recorder wrote; empty for a record that can be
// real.
std::string whyNotARealCall(const CallRecord& record);

struct CallLogContents {
  std::vector<CallRecord> records;
  std::size_t tornBytes = 0;  // bytes after the last whole record
};

// Reads every whole record of a call log file.
[[nodiscard]] std::error_code readCallLog(const std::filesystem::path& file, CallLogContents& out);

}  // namespace parvolin::engine
