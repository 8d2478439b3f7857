#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <system_error>

#include "engine/call_record.h"
#include "engine/diagnostic_once.h"

namespace parvolin::engine {

// The records of kept calls on their way into the call log: appended in the order the calls
// ended; a record the log does not take waits, with those after it, for the next try.
class PendingCallLog {
 public:
  // `failures` must outlive the PendingCallLog.
  explicit PendingCallLog(DiagnosticOnce& failures) : failures_(failures) {}

  void add(const CallRecord& record) { records_.push_back(record); }
  // Appends the waiting records to the call log of `folder`, oldest first, until one fails: its
  // failure is returned, and reported once until the log works again. Empty when every record
  // is in the log.
  [[nodiscard]] std::error_code flush(const std::filesystem::path& folder);

  bool empty() const { return records_.empty(); }
  std::size_t size() const { return records_.size(); }

 private:
  DiagnosticOnce& failures_;
  std::deque<CallRecord> records_;
};

}  // namespace parvolin::engine
