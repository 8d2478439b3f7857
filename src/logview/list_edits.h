#pragma once

// The changes the file manager asks of the list, as PendingListEdits made from the rows it
// read: a call's text, one row, a run of rows, or the whole body. They are applied later, by
// text replacement, so rows added in between are never touched.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/html_list.h"
#include "logview/list_rows.h"

namespace parvolin::logview {

inline constexpr std::size_t kMaxEditTextChars = 40;
// The width the recorder writes a call's text in; an edited text is padded to it.
inline constexpr std::size_t kTextCellWidth = 22;

extern const std::string_view kEditTextRefused;
extern const std::string_view kEditTextTooLong;

// Why `newText` may not replace a call's text `ownText`; nullopt when it may. A text equal to
// the call's own is always allowed. Any other is refused when it is longer than 40 characters
// (UTF-8), or holds a control character or a "<" followed by a letter, "/", "!" or "?": such
// text would end the text cell early ("</td") or put markup into the page. The digit tables'
// own characters ("<", ">", "=", ";", "?"), "&" and double quotes are allowed.
[[nodiscard]] std::optional<std::string_view> editTextProblem(std::string_view newText,
                                                              std::string_view ownText);

// The first row with item number `item`, or nullptr.
const ListRow* findItem(const std::vector<ListRow>& rows, int item);

// The edit that gives `row` the text `newText`, padded with blanks to 22 characters: the row up
// to the end of its text cell (which starts with the row's own item number, so it is unique in
// the list) becomes the same with the new text. Nullopt when that changes nothing.
std::optional<engine::PendingListEdit> textEdit(const ListRow& row, std::string_view newText);

// The edit that removes the first row numbered `item`; nullopt when there is none.
std::optional<engine::PendingListEdit> deleteItemEdit(const std::vector<ListRow>& rows, int item);

// The edit that removes the rows numbered from `rangeEnd` up to `item` (both included). The
// list is newest first, so they are one run of rows from the first that lies in the range; the
// run ends at the first row outside it. Nullopt when no row lies in the range.
std::optional<engine::PendingListEdit> deleteRangeEdit(const std::vector<ListRow>& rows, int item,
                                                       int rangeEnd);

// A range that starts at the newest item and ends at 1 means the whole list.
bool rangeCoversAll(int item, int rangeEnd, int latestItem);

// The edit that removes the whole body (`body`, the bytes after the header), marked as Delete
// All so that, when the body is then empty, the recording folder is cleared. Nullopt for an
// empty body.
std::optional<engine::PendingListEdit> deleteAllEdit(std::string_view body);

}  // namespace parvolin::logview
