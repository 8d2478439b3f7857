#pragma once

// What the viewer's sorts and the file manager's search make of a list body: the rows they
// keep, in their order, each as the list writes it (ending in CR LF). Whatever followed the
// last row is never carried over.

#include <string>
#include <string_view>

#include "logview/list_rows.h"

namespace parvolin::logview {

enum class ListOrder {
  kByPort,      // ports 1 to 256 ascending, list order within a port; other ports left out
  kByDuration,  // longest first, equal durations (un-answered calls at 0) in list order
};

// The rows of `body` in `order`; O(n log n) in the number of rows.
std::string sortedRows(std::string_view body, ListOrder order);

// A search: calls whose date key lies between `fromKey` and `toKey` (both included, compared
// byte by byte) and whose text holds `text` without regard to the case of ASCII letters. An
// empty text matches every text.
struct SearchQuery {
  std::string text;
  std::string fromKey;
  std::string toKey;
};

// A date key as the search builds it from its boxes: year with "%02d", month and day with
// "-%02d" (31 May 2006 gives "06-05-31"; a four-digit year stays four digits).
std::string searchDateKey(int year, int month, int day);

// Whether `row` matches `query`: the one predicate of the search, for the file manager and the
// web server alike.
bool rowMatches(const ListRow& row, const SearchQuery& query);

// The rows of `body` that match `query`, in list order.
std::string matchingRows(std::string_view body, const SearchQuery& query);

// The page the viewer shows for a list file: its header and its rows, with the text cells
// escaped so that a "<" or ">" of a caller number shows as written instead of being read as
// markup. Whatever followed the last row is left out.
std::string viewHtml(std::string_view file);

}  // namespace parvolin::logview
