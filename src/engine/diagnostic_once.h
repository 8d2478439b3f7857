#pragma once

#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "base/diagnostics.h"

namespace parvolin::engine {

// The kinds of file failure the engine reports.
enum class FileFailure {
  kCreate,
  kWrite,
  kClose,
  kConvert,
  kDelete,
  kAppendLog,
  kWriteList,
  kEditList
};

// Passes a failure on to Diagnostics once for each file and kind, until that file works again:
// a disk that stays full must not fill the status line every tick.
class DiagnosticOnce {
 public:
  explicit DiagnosticOnce(base::Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

  void report(std::string_view file, FileFailure kind, std::string_view text) {
    if (reported_.emplace(std::string(file), kind).second) diagnostics_.report(text);
  }
  void worked(std::string_view file, FileFailure kind) {
    if (!reported_.empty()) reported_.erase({std::string(file), kind});
  }

 private:
  base::Diagnostics& diagnostics_;
  std::set<std::pair<std::string, FileFailure>> reported_;
};

}  // namespace parvolin::engine
