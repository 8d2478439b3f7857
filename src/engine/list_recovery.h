#pragma once

// Rows of logged calls that the HTML list lacks. The call log is appended and synced when a call
// is kept; its row reaches the list with a later rewrite. A crash between the two leaves the
// newest calls of the log without rows: they are the log's records after the one whose call the
// list's newest row shows.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/call_record.h"

namespace parvolin::engine {

// Whether `row` (a list row) shows the call of `record`: the same port, start time (in local
// time, as the row shows it) and duration, or both not answered. The item number and the text
// are left out, since the file manager may have edited the text.
bool rowShowsCall(std::string_view row, const CallRecord& record);

// The records of `log` (in the order the calls ended) after the last one whose call the list's
// newest row shows, oldest first. Nothing when the list has no row or no record matches it: then
// it cannot be told which calls lack a row (the user may have deleted rows).
std::vector<CallRecord> callsMissingFromList(std::span<const CallRecord> log,
                                             std::string_view listBody);

struct RowRestore {
  std::size_t rows = 0;  // rows put back
  std::error_code error;
};

// Puts the rows of the calls missing from the list at `listPath` (see callsMissingFromList) at
// its top, numbered on from its newest row, oldest first, in one atomic rewrite. A row links to
// the call's recording as it is found in `folder` (a WAV file or an LV file of any mode); a
// recording not found is named as `wavFormat` and mode 3 would name it. A folder without a call
// log or a list is left alone.
[[nodiscard]] RowRestore restoreMissingRows(const std::filesystem::path& folder,
                                            const std::filesystem::path& listPath, bool wavFormat);

}  // namespace parvolin::engine
