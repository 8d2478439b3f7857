#pragma once

// The calls of a recording folder's HTML list as the web pages show them: paged, sorted and
// searched, with the file manager's search (logview::rowMatches) deciding what matches.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "logview/list_order.h"
#include "logview/list_table.h"

namespace parvolin::web {

struct CallQuery {
  static constexpr int kMaxPageSize = 200;

  int page = 0;       // from 0
  int pageSize = 50;  // 1..200
  enum class Sort { kDate, kPort, kDuration } sort = Sort::kDate;
  bool descending = true;
  // As the file manager's search: held in the text cell, ASCII letter case ignored.
  std::string text;
  // "YYYY-MM-DD", both included.
  std::optional<std::string> from, to;
};

struct CallRow {
  std::string id;  // [A-Za-z0-9._-]+, unique in the list
  int item = 0;
  std::string date;  // YYYY-MM-DD
  std::string time;  // hh:mm:ss
  int port = 0;
  std::string type;      // "In", "Out", "VAR"
  std::string text;      // the text cell without its trailing blanks
  std::string duration;  // "2'05\"" as the list shows it, or "Un-Answered"
  int seconds = 0;
  bool recorded = false;
  std::string file;         // the recording's name from the Play link; empty without a usable one
  std::string fingerprint;  // logview::rowFingerprint of the row, for the control guard

  bool operator==(const CallRow&) const = default;
};

struct CallPage {
  int total = 0;  // calls that match, on all pages
  int page = 0;
  int pageSize = 0;
  std::vector<CallRow> calls;
};

// The search a query stands for, as the file manager would make it: its text, and date keys
// from "YYYY-MM-DD" dates (a missing bound is open; nullopt when a date is not such a date).
std::optional<logview::SearchQuery> searchFor(const CallQuery& query);

// Whether `name` is a recording's name as the recorder writes it: "w%08Xp%01X.LV%01X" (mode 0
// to 3) or "w%08Xp%01X.WAV", upper-case hex digits.
bool isRecordingName(std::string_view name);

// The list of one folder, re-read only when its file stamp changes. Thread-safe.
class CallList {
 public:
  explicit CallList(std::filesystem::path listFile);

  const std::filesystem::path& listFile() const { return listFile_; }

  // A page of the calls that match, sorted; ties stay in list order (newest first). A page
  // beyond the last is empty; a page size outside 1-200 is taken as the nearest.
  CallPage query(const CallQuery& query);
  std::optional<CallRow> find(std::string_view id);
  // All calls, in list order (newest first).
  std::size_t size();

 private:
  struct Snapshot;
  std::shared_ptr<const Snapshot> current();

  std::filesystem::path listFile_;
  std::mutex mutex_;
  std::shared_ptr<const Snapshot> snapshot_;
};

}  // namespace parvolin::web
