#pragma once

// What the log viewer does on each of its events, without the window: which page to show, how
// its refresh timer runs afterwards, and whether it closes. The window carries the steps out.

#include <chrono>
#include <filesystem>
#include <optional>

#include "logview/list_files.h"
#include "logview/list_order.h"

namespace parvolin::logview {

using std::chrono::milliseconds;

inline constexpr milliseconds kAutoRefreshPeriod{25000};
inline constexpr milliseconds kAfterFileManagerPeriod{1000};  // shows the list once more
inline constexpr milliseconds kAfterEmptySortPeriod{200};     // a sort that made no result

struct ViewerStep {
  std::optional<std::filesystem::path> show;  // the page to show; nothing new when empty
  std::optional<milliseconds> timer;          // the refresh timer's new period; stopped when empty
  bool closeViewer = false;                   // the list is gone: the viewer ends
};

// List Refresh (the button, showing the viewer, every timer tick): the find file is deleted and
// the list shown; the timer runs every 25 s when automatic refresh is on, else stops. Without a
// list file the viewer closes.
ViewerStep refreshList(const ListFiles& files, bool autoRefresh);

// Sorts the list into the find file, as the viewer's sort buttons and pvtool do: an earlier
// result is moved aside, the list copied to the find file and the edit copy, the edit copy's
// rows written to the find file in `order`, the edit copy and the earlier result deleted.
// Returns false, leaving no find file, when the list could not be read or the result written.
bool sortToFindFile(const ListFiles& files, ListOrder order);

// A sort button: the sorted result is shown and the timer stops, so that nothing replaces it;
// when there is no result, the list is refreshed 200 ms later.
ViewerStep sortList(const ListFiles& files, ListOrder order);

// After the file manager closed: its result (the find file) is shown and the timer stops; with
// no result, the list is refreshed now and once more a second later.
ViewerStep afterFileManager(const ListFiles& files, bool autoRefresh);

// The viewer closes: its result page goes, as on every refresh.
void closeViewer(const ListFiles& files);

}  // namespace parvolin::logview
