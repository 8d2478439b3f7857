#pragma once

// Rows of the HTML call list as every reader of the list sees them: the sorts, the search, the
// edit, the deletes, the batch conversion and the viewer's page all go through parseRows.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace parvolin::logview {

// "<tr><td><p align=center>", the five-character item number, "</td><td><p align=center>".
inline constexpr std::size_t kRowFixedPrefix = 54;
inline constexpr std::string_view kRowEnd = "</td></tr>";
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kUnanswered = "Un-Answered";

// One row, with views into the bytes handed to parseRows (which must outlive it).
struct ListRow {
  std::size_t offset = 0;  // of the row's first byte in the body
  // The row as it stands in the file: through its first "</td></tr>" and the two bytes after
  // it (fewer when the file ends there). The next row starts right after.
  std::string_view bytes;
  std::string_view content;  // the start of `bytes`, through "</td></tr>"
  int item = 0;  // the number at row offset 24 (leading blanks allowed); 0 when there is none

  // The cells, found one after the other as the list writes them; empty when not found.
  std::string_view port;
  std::string_view type;
  std::string_view text;       // the call's text, trailing blanks included
  std::size_t textOffset = 0;  // of `text` within `bytes`
  std::string_view dateTime;   // "MM-DD-YY hh:mm:ss"
  std::string_view duration;   // "M'SS\"" of a recorded call, or "Un-Answered"
  std::string_view link;       // the recording's name in the "Play" link; empty without one

  // The row as the list writes it: through "</td></tr>", then CR LF whatever the file held.
  std::string normalized() const;
  void appendNormalized(std::string& out) const;
  // A recorded call: its duration cell is neither "Un-Answered" nor empty.
  bool recorded() const;
  // The decimal number of the port cell; 0 when it holds none.
  int portNumber() const;
  // Minutes × 60 + seconds of the duration cell; 0 for an un-answered call.
  int durationSeconds() const;
  // "YY-MM-DD" from the date cell, for comparison with the search's date keys.
  std::string dateKey() const;
  // The text without its trailing blanks.
  std::string_view trimmedText() const;
};

// What identifies a row's bytes: FNV-1a 64 over normalized(), as 16 lower-case hex digits. A
// client that names a row by its item number sends it along, so that a row that moved (the
// recorder added rows meanwhile) or changed is not taken for the one it meant.
std::string rowFingerprint(const ListRow& row);

// The rows of a list body (the bytes after the header), in file order. A row of any length ends
// after its first "</td></tr>" and the line end after it: CR LF as the list writes it, or LF
// alone as an editor may have saved it (otherwise the two bytes after it). Trailing bytes
// without a "</td></tr>" are no row.
std::vector<ListRow> parseRows(std::string_view body);

// Where the header of a list file ends: after the line end of its column-title row ("</th></tr>"
// then CR LF or LF), which the list writes at byte 320; 0 when the file has no such header.
std::size_t headerEnd(std::string_view file);
// Whether `file` holds an HTML call list: it begins with the list's title tag and its header
// (with either line end) carries the list's caption. Any other file (a call log, a recording, a
// page of another kind) is no list, and no reader of lists takes it.
bool isListFile(std::string_view file);

// The header bytes of a list file: through headerEnd, or the standard header when the file has
// none (a missing or cut list).
std::string_view listHead(std::string_view file);
// The bytes after the header; empty for a file without one.
std::string_view listBody(std::string_view file);

// The item number of the newest row (the first); 0 when the list holds no row.
int latestItem(const std::vector<ListRow>& rows);

}  // namespace parvolin::logview
