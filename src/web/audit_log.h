#pragma once

// The audit log: who logged in (or failed), played, downloaded, edited or deleted which call,
// and who changed the users; when and from which address. One JSON object per line, appended in
// one write each and synced, so that a crash leaves at most a torn last line, which readers skip.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace parvolin::web {

struct AuditEntry {
  std::int64_t time = 0;  // seconds since 1970
  std::string address;
  std::string user;
  // "login", "login-failed", "logout", "play", "download", "edit", "delete", "user-add",
  // "user-remove", "user-change"
  std::string action;
  std::string call;     // the call's id, or the user a user-* action changed; may be empty
  std::string outcome;  // "ok", or what went wrong

  bool operator==(const AuditEntry&) const = default;
};

class AuditLog {
 public:
  explicit AuditLog(std::filesystem::path file);
  const std::filesystem::path& file() const { return file_; }

  // Appends `entry` as one line (the file made with mode 0600 when missing) and syncs it.
  [[nodiscard]] std::error_code append(const AuditEntry& entry);

 private:
  std::filesystem::path file_;
  std::mutex mutex_;
};

// One entry as its line (ending in '\n'); text that is not UTF-8 is replaced.
std::string auditLine(const AuditEntry& entry);

// The entries of the log, oldest first; at most the `newest` last ones. A line without its '\n'
// at the end (torn by a crash) is skipped, and so is a damaged line, which `problem` counts; a
// missing file has no entries. `problem` also says when the file cannot be read.
std::vector<AuditEntry> readAuditLog(const std::filesystem::path& file, std::string& problem,
                                     std::size_t newest = std::numeric_limits<std::size_t>::max());

}  // namespace parvolin::web
