#include "web/audit_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/file_io.h"

namespace parvolin::web {

using nlohmann::json;

AuditLog::AuditLog(std::filesystem::path file) : file_(std::move(file)) {}

std::string auditLine(const AuditEntry& entry) {
  const json object = {{"time", entry.time}, {"address", entry.address},
                       {"user", entry.user}, {"action", entry.action},
                       {"call", entry.call}, {"outcome", entry.outcome}};
  return object.dump(-1, ' ', false, json::error_handler_t::replace) + '\n';
}

std::error_code AuditLog::append(const AuditEntry& entry) {
  const std::string line = auditLine(entry);
  std::lock_guard lock(mutex_);
  // Opened for each entry: a log moved aside (rotated) is followed by a new one.
  base::FileHandle file(
      ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file.isOpen()) return {errno, std::generic_category()};
  // One write: the line lands whole or, after a crash, as a torn last line.
  const ssize_t n = ::write(file.fd(), line.data(), line.size());
  if (n < 0) return {errno, std::generic_category()};
  if (std::size_t(n) != line.size()) return std::make_error_code(std::errc::no_space_on_device);
  if (::fdatasync(file.fd()) != 0) return {errno, std::generic_category()};
  return file.close();
}

namespace {

std::optional<AuditEntry> parseLine(std::string_view line) {
  const json object = json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!object.is_object()) return std::nullopt;
  const auto time = object.find("time");
  if (time == object.end() || !time->is_number_integer()) return std::nullopt;
  AuditEntry entry;
  entry.time = time->get<std::int64_t>();
  const auto text = [&](const char* key, std::string& into) {
    const auto at = object.find(key);
    if (at == object.end() || !at->is_string()) return false;
    into = at->get<std::string>();
    return true;
  };
  if (!text("action", entry.action)) return std::nullopt;
  // The others may be missing in a hand-made line; they read as empty.
  text("address", entry.address);
  text("user", entry.user);
  text("call", entry.call);
  text("outcome", entry.outcome);
  return entry;
}

}  // namespace

std::vector<AuditEntry> readAuditLog(const std::filesystem::path& file, std::string& problem,
                                     std::size_t newest) {
  problem.clear();
  std::string bytes;
  if (const std::error_code error = base::readWholeFile(file, bytes)) {
    if (error != std::errc::no_such_file_or_directory) {
      problem = base::describeFailure(file, "read", error);
    }
    return {};
  }
  std::deque<AuditEntry> entries;
  std::size_t damaged = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;  // torn by a crash: the write never finished
    const std::string_view line(bytes.data() + start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    if (auto entry = parseLine(line)) {
      entries.push_back(std::move(*entry));
      if (entries.size() > newest) entries.pop_front();
    } else {
      ++damaged;
    }
  }
  if (damaged > 0) {
    problem = file.string() + ": " + std::to_string(damaged) +
              (damaged == 1 ? " damaged line skipped" : " damaged lines skipped");
  }
  return {std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end())};
}

}  // namespace parvolin::web
