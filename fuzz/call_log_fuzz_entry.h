#pragma once

// The body of the call log fuzz target, shared with the test that replays the saved corpus.
// Input: the bytes of a call log file (its reading across the reader's buffer refills is left to
// the reader's unit test: a refill always ends on a record's edge). It is read as pvtool log reads
// it, record by record through engine::CallLogReader: every whole record exactly its 32 bytes at
// its offset, each one judged real or not, the bytes after the last whole one counted as torn at
// the right offset. Then the recorder appends a call to it: the log is then whole records, the old
// ones unchanged and the new one last.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/call_log.h"
#include "engine/call_record.h"
#include "fuzz_folder.h"

namespace parvolin::fuzz {

inline std::string callLogFuzzCheck(const std::uint8_t* data, std::size_t size,
                                    const std::filesystem::path& scratch) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path path = scratch / engine::kCallLogName;
  writeScratchFile(path, bytes);

  engine::CallLogReader reader;
  if (const std::error_code error = reader.open(path)) {
    return "unreadable: " + error.message();
  }
  std::vector<engine::CallRecord> records;
  engine::CallRecord record;
  std::uint64_t offset = 0;
  while (reader.next(record, offset)) {
    if (offset != records.size() * engine::kCallRecordSize) {
      return "record " + std::to_string(records.size()) + " at byte " + std::to_string(offset);
    }
    const auto encoded = engine::encodeCallRecord(record);
    if (std::memcmp(encoded.data(), bytes.data() + offset, encoded.size()) != 0) {
      return "record " + std::to_string(records.size()) + " is not its 32 bytes";
    }
    engine::whyNotARealCall(record);
    records.push_back(record);
  }
  if (reader.error()) return "read failed: " + reader.error().message();
  const std::size_t whole = bytes.size() / engine::kCallRecordSize;
  if (records.size() != whole) return std::to_string(records.size()) + " records read";
  if (reader.tornBytes() != bytes.size() % engine::kCallRecordSize) {
    return "torn bytes miscounted";
  }
  if (reader.tornOffset() != whole * engine::kCallRecordSize) return "torn bytes misplaced";

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
  if (const std::error_code error = engine::readCallLog(path, appended)) {
    return "the log cannot be read after an append: " + error.message();
  }
  if (appended.tornBytes != 0) return "torn bytes after an append";
  if (appended.records.size() != whole + 1) return "the append did not add one record";
  for (std::size_t i = 0; i < whole; ++i) {
    if (!(appended.records[i] == records[i])) {
      return "record " + std::to_string(i) + " changed by the append";
    }
  }
  if (!(appended.records.back() == call)) return "the appended record is not the call";
  return {};
}

}  // namespace parvolin::fuzz
