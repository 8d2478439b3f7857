#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/call_record.h"

namespace parvolin::engine {

inline constexpr std::size_t kHtmlHeaderSize = 320;
// The item number is the first five characters after "<tr><td><p align=center>".
inline constexpr std::size_t kRowItemOffset = 24;

// The fixed head of every HTML call list; the first row starts right after it.
extern const std::string_view kHtmlHeader;

// Where the header of a list file ends: after the line end of its column-title row
// ("</th></tr>" then CR LF, at byte 320 as the list writes it, or LF alone as an editor may have
// saved it); 0 when the file has no such header.
std::size_t htmlHeaderEnd(std::string_view list);

// One row of the list, "\r\n" included.
std::string htmlRow(const CallRecord& record, int audioMode, bool wavFormat, int itemNumber);

// Puts a row for `record` at the top of the list at `listPath`, creating the list (header and
// row numbered 1) only when no file of that name exists. The new row's item number is
// `rowCountCache` + 1, or when that is -1 the first row's number + 1. The list is rewritten
// atomically; on failure it stays as it was and `rowCountCache` is unchanged. On success
// `rowCountCache` holds the new row's number.
[[nodiscard]] std::error_code appendHtmlRow(const std::filesystem::path& listPath,
                                            const CallRecord& record, int audioMode, bool wavFormat,
                                            std::int32_t& rowCountCache);

// A kept call waiting for its row.
struct ListRowCall {
  CallRecord record;
  int audioMode = 3;
  bool wavFormat = false;
};

// As appendHtmlRow for several calls, in the order they ended, in one rewrite of the list: the
// first gets the number appendHtmlRow would give it, each next one the number after, and the
// last ends up on top. On failure nothing is written and `rowCountCache` is unchanged.
[[nodiscard]] std::error_code appendHtmlRows(const std::filesystem::path& listPath,
                                             std::span<const ListRowCall> calls,
                                             std::int32_t& rowCountCache);

// A change of the list body handed over by the file manager and applied on the next tick:
// every occurrence of `oldText` is replaced by `newText`. Nothing is pending while `oldText` is
// empty. `deleteAll` marks the edit of "Batch Delete All": only then does an edit that leaves the
// body empty clear the recording folder; any other edit that empties the body deletes the list
// file alone.
struct PendingListEdit {
  std::string oldText;
  std::string newText;
  bool deleteAll = false;

  bool isPending() const { return !oldText.empty(); }
  void clear() { *this = PendingListEdit{}; }
};

struct ListEditResult {
  bool applied = false;                          // the edit went through and is no longer pending
  std::error_code error;                         // why it did not
  std::vector<std::filesystem::path> undeleted;  // files a clearing edit could not remove
};

// Applies a pending edit to the list at `listPath` in `folder`. When the list cannot be read or
// rewritten the edit stays pending; otherwise it is cleared. A clearing edit passes over the
// files named in `inUse` (the recordings of calls still going on): they stay, as a file held
// open by the recorder does; and over the folder's lock file.
[[nodiscard]] ListEditResult applyPendingListEdit(const std::filesystem::path& folder,
                                                  const std::filesystem::path& listPath,
                                                  PendingListEdit& edit,
                                                  std::span<const std::string> inUse = {});

// Replaces every occurrence of `from` (not empty) in `text`, left to right.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace parvolin::engine
