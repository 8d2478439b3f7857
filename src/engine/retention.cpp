#include "engine/retention.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "base/audio_block.h"
#include "base/file_io.h"
#include "engine/call_log.h"
#include "engine/recording_files.h"

namespace parvolin::engine {
namespace {

constexpr std::string_view kRowEnd = "</td></tr>";
constexpr std::string_view kCenteredCell = "<td><p align=center>";
constexpr std::string_view kLink = "<A HREF=\"";

struct Row {
  std::size_t offset = 0;  // in the body
  std::string_view bytes;  // line end included
};

// The rows of a list body as every reader of the list cuts them: each ends after its first
// "</td></tr>" and the line end after it (CR LF, LF alone, or else the two bytes that follow).
std::vector<Row> rowsOf(std::string_view body) {
  std::vector<Row> rows;
  std::size_t at = 0;
  while (at < body.size()) {
    const std::size_t end = body.find(kRowEnd, at);
    if (end == std::string_view::npos) break;
    std::size_t next = end + kRowEnd.size();
    const std::string_view rest = body.substr(next);
    next += rest.starts_with("\r\n") ? 2
            : rest.starts_with('\n') ? 1
                                     : std::min<std::size_t>(2, rest.size());
    rows.push_back({at, body.substr(at, next - at)});
    at = next;
  }
  return rows;
}

// Where a row's date cell starts (the last centred cell); npos when it has none.
std::size_t dateCellAt(std::string_view row) {
  return row.rfind(kCenteredCell);
}

// What tells a call's row apart whatever its item number, text and recording's format: its port
// cell, then its date cell and its duration (or "Un-Answered"). Empty for a row not made so.
std::string callKey(std::string_view row) {
  const std::size_t itemEnd = kRowItemOffset + 5;
  if (row.size() < itemEnd + 5) return {};
  const std::size_t portEnd = row.find("</td>", itemEnd + 5);
  const std::size_t dateAt = dateCellAt(row);
  if (portEnd == std::string_view::npos || dateAt == std::string_view::npos || dateAt < portEnd) {
    return {};
  }
  std::size_t tailEnd = row.find(kLink, dateAt);
  if (tailEnd == std::string_view::npos) {
    tailEnd = row.find(kRowEnd, dateAt);
    if (tailEnd == std::string_view::npos) return {};
    tailEnd += kRowEnd.size();
  }
  std::string key(row.substr(itemEnd, portEnd - itemEnd));
  key.append(row.substr(dateAt, tailEnd - dateAt));
  return key;
}

// The recording a row links to; empty without a "Play" link.
std::string_view linkOf(std::string_view row) {
  const std::size_t at = row.find(kLink);
  if (at == std::string_view::npos) return {};
  const std::size_t from = at + kLink.size();
  const std::size_t end = row.find('"', from);
  return end == std::string_view::npos ? std::string_view() : row.substr(from, end - from);
}

// The part of a row that the recorder writes from the call alone, its item number and its
// recording aside: the port, type and text cells. A row whose part is not its call's has had its
// text edited.
std::string_view ownPart(std::string_view row) {
  const std::size_t itemEnd = kRowItemOffset + 5;
  const std::size_t dateAt = dateCellAt(row);
  if (dateAt == std::string_view::npos || dateAt < itemEnd) return {};
  return row.substr(itemEnd, dateAt - itemEnd);
}

std::string localTimeText(std::uint32_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[80];  // room for any int the fields may hold
  std::snprintf(text, sizeof text, "%02d-%02d-%02d %02d:%02d:%02d", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900 - 2000, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

std::vector<std::size_t> chooseRetention(std::span<const RetainedCall> calls,
                                         const RetentionRule& rule,
                                         const RetentionFigures& figures) {
  std::vector<bool> gone(calls.size(), false);
  std::size_t rows = calls.size();
  std::uint64_t recorded = figures.recordingBytes;
  std::optional<std::uint64_t> free = figures.freeBytes;
  const auto mayGo = [&](std::size_t i) {
    const RetainedCall& call = calls[i];
    return !gone[i] && !call.edited && !call.inProgress && call.startTime >= 0;
  };
  const auto take = [&](std::size_t i) {
    gone[i] = true;
    --rows;
    recorded -= std::min(recorded, calls[i].bytes);
    if (free) *free += calls[i].bytes;
  };

  if (rule.days > 0) {
    const std::int64_t cutoff = figures.now - std::int64_t(rule.days) * kSecondsPerDay;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (mayGo(i) && calls[i].startTime < cutoff) take(i);
    }
  }
  std::size_t rowTarget = rows;
  std::uint64_t byteTarget = recorded;
  if (rule.atLimits && rule.itemLimit > 0 && rows > std::size_t(rule.itemLimit)) {
    rowTarget = std::size_t(rule.itemLimit) * kRetentionLowWaterPercent / 100;
  }
  const std::uint64_t spaceLimit =
      std::uint64_t(std::max(0, rule.spaceLimitMb)) * kRetentionMegabyte;
  if (rule.atLimits && spaceLimit > 0 && recorded > spaceLimit) {
    byteTarget = spaceLimit * kRetentionLowWaterPercent / 100;
  }
  const auto wanting = [&] {
    return rows > rowTarget || recorded > byteTarget ||
           (rule.keepFreeBytes > 0 && free && *free < rule.keepFreeBytes);
  };
  // The list is newest first: the oldest calls are at its end.
  for (std::size_t i = calls.size(); i-- > 0 && wanting();) {
    if (mayGo(i)) take(i);
  }

  std::vector<std::size_t> chosen;
  for (std::size_t i = calls.size(); i-- > 0;) {
    if (gone[i]) chosen.push_back(i);
  }
  return chosen;
}

RetentionPlan planRetention(std::string_view list, std::span<const CallRecord> log,
                            const std::filesystem::path& folder, std::span<const std::string> inUse,
                            const RetentionRule& rule, const RetentionFigures& figures) {
  RetentionPlan plan;
  const std::size_t headerEnd = htmlHeaderEnd(list);
  if (headerEnd == 0) return plan;
  const std::string_view body = list.substr(headerEnd);
  const std::vector<Row> rows = rowsOf(body);
  plan.listRows = rows.size();

  // Each record as the recorder would have written its row: what finds it, and its own part.
  std::vector<std::string> expected(log.size());
  std::unordered_multimap<std::string, std::size_t> byKey;
  byKey.reserve(log.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    expected[i] = htmlRow(log[i], 3, false, 0);
    byKey.emplace(callKey(expected[i]), i);
  }
  const std::unordered_set<std::string_view> busy(inUse.begin(), inUse.end());
  // The recordings' sizes matter to the rule only for the space limit and the free space; else
  // only those of the calls that go are looked at.
  const bool sizesNeeded = rule.keepFreeBytes > 0 || (rule.atLimits && rule.spaceLimitMb > 0);
  std::vector<bool> sized(rows.size(), false);
  const auto sizeOf = [&](std::size_t r, RetainedCall& call) {
    sized[r] = true;
    const std::string_view link = linkOf(rows[r].bytes);
    if (link.empty()) return;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(folder / std::string(link), error);
    if (!error) call.bytes = size;
  };

  std::vector<RetainedCall> calls(rows.size());
  std::vector<std::optional<std::uint32_t>> starts(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::string_view row = rows[r].bytes;
    RetainedCall& call = calls[r];
    const auto [first, last] = byKey.equal_range(callKey(row));
    bool own = false;
    for (auto it = first; it != last; ++it) {
      starts[r] = log[it->second].startTime;
      if (ownPart(row) == ownPart(expected[it->second])) {
        own = true;
        break;
      }
    }
    call.edited = !own;
    call.startTime = starts[r] ? std::int64_t(*starts[r]) : -1;
    const std::string_view link = linkOf(row);
    call.inProgress = !link.empty() && busy.contains(link);
    if (sizesNeeded) sizeOf(r, call);
    if (call.edited && starts[r]) ++plan.keptEdited;
  }

  const std::vector<std::size_t> chosen = chooseRetention(calls, rule, figures);
  std::vector<bool> gone(rows.size(), false);
  for (const std::size_t i : chosen) {
    gone[i] = true;
    if (!sized[i]) sizeOf(i, calls[i]);
    plan.rows.emplace_back(rows[i].bytes);
    plan.items.push_back(readItemNumber(rows[i].bytes, kRowItemOffset));
    plan.bytes += calls[i].bytes;
    const std::string_view link = linkOf(rows[i].bytes);
    std::error_code error;
    if (!link.empty() && std::filesystem::exists(folder / std::string(link), error)) {
      plan.recordings.emplace_back(link);
    }
  }
  for (std::size_t i = rows.size(); i-- > 0;) {
    if (gone[i] || !starts[i]) continue;
    if (!plan.oldestKept || *starts[i] < *plan.oldestKept) plan.oldestKept = starts[i];
    const bool mayGoLater = !calls[i].edited && !calls[i].inProgress;
    if (mayGoLater && (!plan.oldestMayGo || *starts[i] < *plan.oldestMayGo)) {
      plan.oldestMayGo = starts[i];
    }
  }
  if (chosen.empty()) return plan;

  // One edit: from the newest row that goes to the end of the list, with the rows that stay.
  const std::size_t from = chosen.back();
  PendingListEdit edit;
  edit.oldText = std::string(body.substr(rows[from].offset));
  const std::size_t tail = rows.back().offset + rows.back().bytes.size();
  for (std::size_t i = from; i < rows.size(); ++i) {
    if (!gone[i]) edit.newText.append(rows[i].bytes);
  }
  edit.newText.append(body.substr(tail));
  plan.edit = std::move(edit);
  return plan;
}

RetentionTaken takenByEdit(const RetentionPlan& plan, std::string_view list) {
  const std::size_t headerEnd = htmlHeaderEnd(list);
  const std::vector<Row> rows =
      rowsOf(headerEnd == 0 ? std::string_view() : list.substr(headerEnd));
  std::unordered_set<std::string_view> present;
  std::unordered_set<std::string_view> linked;
  for (const Row& row : rows) {
    present.insert(row.bytes);
    if (const std::string_view link = linkOf(row.bytes); !link.empty()) linked.insert(link);
  }
  const std::unordered_set<std::string_view> recorded(plan.recordings.begin(),
                                                      plan.recordings.end());
  RetentionTaken taken;
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    const std::string_view link = linkOf(plan.rows[i]);
    // A row whose call is still listed (its text edited meanwhile) was not taken.
    if (present.contains(plan.rows[i]) || (!link.empty() && linked.contains(link))) continue;
    taken.items.push_back(plan.items[i]);
    if (recorded.contains(link)) taken.recordings.emplace_back(link);
  }
  return taken;
}

RetentionReport retentionPassOnFolder(const std::filesystem::path& folder,
                                      const std::filesystem::path& listPath,
                                      const RetentionRule& rule, std::int64_t now, bool dryRun) {
  RetentionReport report;
  report.dryRun = dryRun;
  std::string list;
  if (const std::error_code error = base::readWholeFile(listPath, list);
      error && error != std::errc::no_such_file_or_directory) {
    report.error = base::describeFailure(listPath, "read the list", error);
    return report;
  }
  CallLogContents log;
  if (const std::error_code error = readCallLog(folder / kCallLogName, log);
      error && error != std::errc::no_such_file_or_directory) {
    report.error = base::describeFailure(folder / kCallLogName, "read the call log", error);
    return report;
  }
  RetentionFigures figures;
  figures.now = now;
  figures.recordingBytes =
      std::uint64_t(countRecordedBlocks(folder)) * std::uint64_t(base::kAudioBlockSize);
  figures.freeBytes = base::freeBytes(folder);
  const RetentionPlan plan = planRetention(list, log.records, folder, {}, rule, figures);
  report.oldestKept = plan.oldestKept;
  if (dryRun || !plan.edit) {
    report.calls = plan.items.size();
    report.items = plan.items;
    report.bytes = plan.bytes;
    report.recordings = plan.recordings;
    return report;
  }
  PendingListEdit edit = *plan.edit;
  const ListEditResult result = applyPendingListEdit(folder, listPath, edit);
  if (!result.applied) {
    report.error = base::describeFailure(listPath, "take the old calls out", result.error);
    return report;
  }
  std::string after;
  if (base::readWholeFile(listPath, after)) after.clear();
  const RetentionTaken taken = takenByEdit(plan, after);
  report.calls = taken.items.size();
  report.items = taken.items;
  for (const std::string& name : taken.recordings) {
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(folder / name, sizeError);
    std::error_code error;
    if (!std::filesystem::remove(folder / name, error)) {
      if (error) report.error = base::describeFailure(folder / name, "delete the old call", error);
      continue;
    }
    report.bytes += sizeError ? 0 : size;
    report.recordings.push_back(name);
  }
  base::syncFolder(folder);
  return report;
}

std::string itemRanges(std::vector<int> items) {
  std::sort(items.begin(), items.end());
  items.erase(std::unique(items.begin(), items.end()), items.end());
  std::string text;
  for (std::size_t i = 0; i < items.size();) {
    std::size_t j = i;
    while (j + 1 < items.size() && items[j + 1] == items[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(items[i]);
    if (j != i) text += "-" + std::to_string(items[j]);
    i = j + 1;
  }
  return text;
}

std::string RetentionReport::summary() const {
  std::string text = "Retention: ";
  if (!error.empty() && calls == 0) return text + error;
  if (calls == 0) {
    text += dryRun ? "no call would be deleted" : "no call deleted";
  } else {
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f MB",
                  double(bytes) / double(kRetentionMegabyte));
    text += std::to_string(calls) + (calls == 1 ? " call " : " calls ") +
            (dryRun ? "would be deleted" : "deleted") + " (item" +
            (items.size() == 1 ? " " : "s ") + itemRanges(items) + "), " + megabytes;
  }
  if (oldestKept) text += "; oldest call kept " + localTimeText(*oldestKept);
  if (!error.empty()) text += "; " + error;
  return text;
}

}  // namespace parvolin::engine
