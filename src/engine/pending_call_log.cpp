#include "engine/pending_call_log.h"

#include "base/file_io.h"
#include "engine/call_log.h"

namespace parvolin::engine {

std::error_code PendingCallLog::flush(const std::filesystem::path& folder) {
  while (!records_.empty()) {
    if (const std::error_code error = appendCallLog(folder, records_.front())) {
      failures_.report(kCallLogName, FileFailure::kAppendLog,
                       base::describeFailure(folder / kCallLogName, "append the call", error));
      return error;
    }
    failures_.worked(kCallLogName, FileFailure::kAppendLog);
    records_.pop_front();
  }
  return {};
}

}  // namespace parvolin::engine
