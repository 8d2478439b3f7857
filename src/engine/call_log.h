#pragma once

#include <cstddef>
#include <filesystem>
#include <system_error>
#include <vector>

#include "engine/call_record.h"

namespace parvolin::engine {

inline constexpr char kCallLogName[] = "ParvolinLog.ZERU";

// Appends one record to the call log in `folder`, creating the log only when no file of that
// name exists (an existing log that cannot be opened is never replaced). A torn last record left
// by a crash (a length that is not a multiple of 32) is cut back to the last whole record first,
// so every record stays at a multiple of 32. A write that fails part-way is cut back as well.
// Returns the error that kept the record out of the log.
std::error_code appendCallLog(const std::filesystem::path& folder, const CallRecord& record);

struct CallLogContents {
  std::vector<CallRecord> records;
  std::size_t tornBytes = 0;  // bytes after the last whole record
};

// Reads every whole record of a call log file.
std::error_code readCallLog(const std::filesystem::path& file, CallLogContents& out);

}  // namespace parvolin::engine
