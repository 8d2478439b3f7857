#pragma once

// Retention: the oldest calls of the list deleted (their rows and their recordings) so that a
// recorder left running keeps within what the user allows: an age in days, the capacity limits,
// and a margin of free space on the recording folder's disk. Off unless the user turns it on.
//
// A pass is planned on the list as it stands with its waiting rows, and handed over as one list
// edit (the file manager's kind): the run of rows from the newest call that goes down to the end
// of the list, replaced by the rows of that run that stay. The recordings of the rows the edit
// took out are deleted once it went through. The call log keeps its records.
//
// A call whose text was edited is a kept one: its row's text no longer is the text of its call
// log record. A row without a record of its own in the call log cannot be told apart from an
// edited one, and is kept as well; so is a call whose recording is in use.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/call_record.h"
#include "engine/html_list.h"

namespace parvolin::engine {

inline constexpr std::int64_t kSecondsPerDay = 86'400;
inline constexpr std::uint64_t kRetentionMegabyte = 1u << 20;
// A limit that is passed is gone below far enough that the next few calls do not pass it again:
// the pass deletes down to this share of it (in percent).
inline constexpr int kRetentionLowWaterPercent = 95;
// The pass that looks at the whole list even when no figure asks for one.
inline constexpr std::int64_t kRetentionPeriodMs = 3'600'000;

// What the user allows.
struct RetentionRule {
  std::int32_t days = 0;  // calls older than this many days go; 0 keeps them for ever
  bool atLimits = false;  // the oldest go when a capacity limit is passed, down to 95 % of it
  std::int32_t itemLimit = 0;
  std::int32_t spaceLimitMb = 0;
  std::uint64_t keepFreeBytes = 0;  // the oldest go while less is free; 0 for no such margin

  bool any() const { return days > 0 || atLimits || keepFreeBytes > 0; }
};

// One row of the list as the rule sees it.
struct RetainedCall {
  std::int64_t startTime = -1;  // seconds since 1970; -1 when not known (the row is kept)
  std::uint64_t bytes = 0;      // the size of its recording; 0 without one
  bool edited = false;          // its text is not its call's: kept
  bool inProgress = false;      // its recording is in use: kept
};

// The figures the rule weighs besides the rows.
struct RetentionFigures {
  std::int64_t now = 0;                    // seconds since 1970
  std::uint64_t recordingBytes = 0;        // all the recordings of the folder
  std::optional<std::uint64_t> freeBytes;  // on its disk; unknown: no free-space rule
};

// Which calls go: indexes into `calls` (the list's rows, newest first), oldest first. Every call
// older than the rule's days goes; then, oldest first, as many more as bring the rows and the
// recordings down to 95 % of a limit they passed, and the free space up to the margin. Kept
// calls (edited, in progress, of unknown age) never go, and do not stop older ones from going.
std::vector<std::size_t> chooseRetention(std::span<const RetainedCall> calls,
                                         const RetentionRule& rule,
                                         const RetentionFigures& figures);

// A pass, as planned.
struct RetentionPlan {
  std::optional<PendingListEdit> edit;      // nothing when no call goes
  std::vector<std::string> rows;            // the rows that go, as in the list
  std::vector<int> items;                   // their item numbers, oldest first
  std::vector<std::string> recordings;      // their recordings that are there
  std::uint64_t bytes = 0;                  // the recordings' sizes
  std::size_t listRows = 0;                 // rows of the list before the pass
  std::size_t keptEdited = 0;               // rows kept because their text is not their call's
  std::optional<std::uint32_t> oldestKept;  // start of the oldest call that stays
  // Start of the oldest call that stays and that a later pass may delete (not edited, not in
  // progress): the day rule has nothing to do before it is due.
  std::optional<std::uint32_t> oldestMayGo;
};

// Plans a pass on `list` (the list file's bytes with its waiting rows), the call log's records
// `log` and the recordings in `folder`; the recordings named in `inUse` are those of calls in
// progress.
RetentionPlan planRetention(std::string_view list, std::span<const CallRecord> log,
                            const std::filesystem::path& folder, std::span<const std::string> inUse,
                            const RetentionRule& rule, const RetentionFigures& figures);

// What the applied edit of `plan` took out, judged on `list` (read after it): the rows of the
// plan no longer in the list, and of their recordings those that no row of the list links to
// (the ones the pass may delete). An edit that found the list changed under it took nothing.
struct RetentionTaken {
  std::vector<int> items;
  std::vector<std::string> recordings;
};
RetentionTaken takenByEdit(const RetentionPlan& plan, std::string_view list);

// What a pass did, or would do.
struct RetentionReport {
  bool dryRun = false;
  std::size_t calls = 0;
  std::vector<int> items;  // oldest first
  std::uint64_t bytes = 0;
  std::vector<std::string> recordings;
  std::optional<std::uint32_t> oldestKept;
  std::string error;  // why the pass could not run, or its edit failed

  // "Retention: 3 calls deleted (items 1-3), 1.2 MB; oldest call kept 12-01-26 10:00:00";
  // a dry run says "would be deleted"; a pass that deleted nothing says so.
  std::string summary() const;
};

// One pass on a folder that no recorder runs in (the caller holds its lock): the list at
// `listPath` and the call log in `folder`, at `now` (seconds since 1970), the edit applied at
// once as the recorder's tick applies it, then the recordings deleted. A dry run changes nothing.
RetentionReport retentionPassOnFolder(const std::filesystem::path& folder,
                                      const std::filesystem::path& listPath,
                                      const RetentionRule& rule, std::int64_t now, bool dryRun);

// "1-3, 7, 9-12" for item numbers in any order.
std::string itemRanges(std::vector<int> items);

}  // namespace parvolin::engine
