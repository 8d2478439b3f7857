#pragma once

// The body of the call log fuzz target, shared with the test that replays the saved corpus.
// Input: the bytes of a call log file. It is read as pvtool log reads it: every whole record,
// each exactly its 32 bytes, and the bytes after the last whole one counted as torn. Then the
// recorder appends a call to it: the log is then whole records, the old ones unchanged and the
// new one last.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/call_log.h"
#include "engine/call_record.h"
#include "fuzz_folder.h"

namespace parvolin::fuzz {

inline std::string callLogFuzzCheck(const std::uint8_t* data, std::size_t size,
                                    const std::filesystem::path& scratch) {
  const std::filesystem::path path = scratch / engine::kCallLogName;
  writeScratchFile(path, {reinterpret_cast<const char*>(data), size});

  engine::CallLogContents log;
  if (const std::error_code error = engine::readCallLog(path, log)) {
    return "unreadable: " + error.message();
  }
  const std::size_t whole = size / engine::kCallRecordSize;
  if (log.records.size() != whole) return std::to_string(log.records.size()) + " records read";
  if (log.tornBytes != size % engine::kCallRecordSize) return "torn bytes miscounted";
  for (std::size_t i = 0; i < whole; ++i) {
    const auto bytes = engine::encodeCallRecord(log.records[i]);
    if (std::memcmp(bytes.data(), data + i * engine::kCallRecordSize, bytes.size()) != 0) {
      return "record " + std::to_string(i) + " is not its 32 bytes";
    }
  }

  engine::CallRecord call;
  call.portIndex = 5;
  call.callType = engine::kCallAnswered;
  call.startTime = 1234567890;
  call.durationSec = 125;
  call.firstAudioSec = 1;
  if (const std::error_code error = engine::appendCallLog(scratch, call)) {
    return "append failed: " + error.message();
  }
  engine::CallLogContents appended;
  engine::readCallLog(path, appended);
  if (appended.tornBytes != 0) return "torn bytes after an append";
  if (appended.records.size() != whole + 1) return "the append did not add one record";
  for (std::size_t i = 0; i < whole; ++i) {
    if (!(appended.records[i] == log.records[i])) {
      return "record " + std::to_string(i) + " changed by the append";
    }
  }
  if (!(appended.records.back() == call)) return "the appended record is not the call";
  return {};
}

}  // namespace parvolin::fuzz
