#pragma once

// The body of the list fuzz target, shared with the test that replays the saved corpus: any
// bytes as the HTML call list, read by the one row parser and worked on by the viewer and the
// file manager in a folder of their own.
//
// Input: byte 0 picks the operation (bits 0-3, modulo 10: sort by port, sort by duration,
// search, edit, delete an item, delete a range, delete all, batch WAV conversion, the viewer's
// page, open and leave the file manager); bit 4 takes the list file as it is instead of putting
// the list's header before it; bit 5 leaves an earlier result page (a copy of the list) in place
// before the file manager opens; bit 6 answers every question with No (Cancel the edit).
// Bytes 1 and 2 pick the item and the range end: below 0xC0 the item number of a row (that
// value modulo the number of rows), else the number (value - 0xC8). Byte 3's low six bits give
// the length of the text that follows (the search text, or the edit's new text). Then six bytes
// (signed): from year, month, day, to year, month, day of the search. The rest is the list.
//
// Checked after every operation: every page written (a sort's or search's result, the viewer's
// page) is the list's header and whole rows, each of them a row of the list; a sort keeps the
// rows it should in its order, a search only matching rows; no working copy is left behind and
// an earlier result comes back when the file manager is left without one; and, for a list as the
// recorder writes it, an edit or delete leaves whole rows, takes away only rows it names, and
// changes only the text of the row it names. A batch conversion writes only WAV files, each a
// header and its data, into a new batch folder.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"
#include "base/prompt.h"
#include "codec/wav_header.h"
#include "engine/html_list.h"
#include "fuzz_folder.h"
#include "logview/file_manager_fields.h"
#include "logview/file_manager_session.h"
#include "logview/list_edit_submitter.h"
#include "logview/list_edits.h"
#include "logview/list_files.h"
#include "logview/list_order.h"
#include "logview/list_rows.h"
#include "logview/log_viewer_logic.h"
#include "support/scripted_prompt.h"

namespace parvolin::fuzz {

namespace list_fuzz {

using logview::ListRow;

inline std::string readOr(const std::filesystem::path& path, std::string fallback) {
  std::string bytes;
  if (base::readWholeFile(path, bytes)) return fallback;
  return bytes;
}

// "" when every byte of `body` belongs to a row that ends in CR LF.
inline std::string wholeRowsFault(std::string_view body, const std::vector<ListRow>& rows) {
  std::size_t at = 0;
  for (const ListRow& row : rows) {
    if (row.offset != at) return "row at " + std::to_string(row.offset) + " after a gap";
    if (!row.bytes.ends_with(logview::kLineEnd) || !row.content.ends_with(logview::kRowEnd)) {
      return "row at " + std::to_string(at) + " does not end as a row";
    }
    at += row.bytes.size();
  }
  if (at != body.size()) return "bytes after the last row";
  return {};
}

// A body as the recorder writes it: whole rows, each beginning with "<tr>" that occurs in it
// nowhere else. Replacing a stretch of whole rows in it replaces only whole rows.
inline bool recorderShaped(std::string_view body, const std::vector<ListRow>& rows) {
  if (!wholeRowsFault(body, rows).empty()) return false;
  for (const ListRow& row : rows) {
    if (!row.bytes.starts_with("<tr>") || row.bytes.find("<tr>", 1) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// "" when `rows` are some of `from`, in the same order (compared as the list writes them).
inline std::string subsequenceFault(const std::vector<ListRow>& rows,
                                    const std::vector<ListRow>& from) {
  std::size_t j = 0;
  for (const ListRow& row : rows) {
    while (j < from.size() && from[j].content != row.content) ++j;
    if (j == from.size()) return "a row that is not one of the list's, or out of order";
    ++j;
  }
  return {};
}

// "" when each of `rows` is a row of `from` of its own (in any order).
inline std::string takenFromFault(const std::vector<ListRow>& rows,
                                  const std::vector<ListRow>& from) {
  std::map<std::string_view, int> left;
  for (const ListRow& row : from) ++left[row.content];
  for (const ListRow& row : rows) {
    if (--left[row.content] < 0) return "a row that is not one of the list's";
  }
  return {};
}

// A page written from the list: its header, then whole rows, each one of the list's (in list
// order when `listOrder`).
inline std::string pageFault(std::string_view page, std::string_view head,
                             const std::vector<ListRow>& listRows, std::vector<ListRow>& pageRows,
                             bool listOrder) {
  if (!page.starts_with(head)) return "does not start with the list's header";
  const std::string_view body = page.substr(head.size());
  pageRows = logview::parseRows(body);
  if (std::string fault = wholeRowsFault(body, pageRows); !fault.empty()) return fault;
  return listOrder ? subsequenceFault(pageRows, listRows) : takenFromFault(pageRows, listRows);
}

// The item number a selector byte names.
inline int pickItem(std::uint8_t selector, const std::vector<ListRow>& rows) {
  if (selector >= 0xC0) return int(selector) - 0xC8;
  return rows.empty() ? 1 : rows[selector % rows.size()].item;
}

// Gives the first few recorded rows whose link is a plain name a recording of two blocks, so
// that the batch conversion has something to convert.
inline void makeRecordings(const std::filesystem::path& folder, const std::vector<ListRow>& rows) {
  int made = 0;
  for (const ListRow& row : rows) {
    if (made == 4) break;
    const std::string link(row.link);
    if (!row.recorded() || link.empty() || link == "." || link == ".." ||
        link.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
      continue;
    }
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(folder / link, ec))) continue;
    std::string blocks(2 * 512, '\0');
    for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = char(i * 7 + made);
    // A recording named as a WAV file is one, and is copied as it is.
    if (link.size() >= 3 && (link[link.size() - 3] & ~0x20) == 'W' &&
        (link[link.size() - 2] & ~0x20) == 'A' && (link.back() & ~0x20) == 'V') {
      const auto header = codec::WavHeader::forDataBytes(blocks.size())->encode();
      blocks.insert(0, reinterpret_cast<const char*>(header.data()), header.size());
    }
    writeScratchFile(folder / link, blocks);
    ++made;
  }
}

}  // namespace list_fuzz

inline std::string listFuzzCheck(const std::uint8_t* data, std::size_t size,
                                 const std::filesystem::path& scratch) {
  using namespace list_fuzz;
  constexpr std::size_t kFixed = 4;
  if (size < kFixed) return {};
  const int op = (data[0] & 0x0F) % 10;
  const bool raw = (data[0] & 0x10) != 0;
  const bool earlierResult = (data[0] & 0x20) != 0;
  const bool answer = (data[0] & 0x40) == 0;
  std::size_t at = kFixed;
  const std::size_t textLength = std::min<std::size_t>(data[3] & 0x3F, size - at);
  const std::string text(reinterpret_cast<const char*>(data + at), textLength);
  at += textLength;
  std::int8_t date[6] = {0, 1, 1, 99, 12, 31};
  for (std::int8_t& d : date) {
    if (at < size) d = static_cast<std::int8_t>(data[at++]);
  }
  std::string file(reinterpret_cast<const char*>(data + at), size - at);
  if (!raw) file.insert(0, engine::kHtmlHeader);

  const std::string_view head = logview::listHead(file);
  const std::string_view body = logview::listBody(file);
  const std::vector<ListRow> rows = logview::parseRows(body);
  for (const ListRow& row : rows) {
    if (row.bytes.data() != body.data() + row.offset || row.offset + row.bytes.size() > body.size())
      return "a row outside the body";
    if (row.textOffset + row.text.size() > row.bytes.size() ||
        row.bytes.substr(row.textOffset, row.text.size()) != row.text) {
      return "a text cell that is not where the row says";
    }
    if (row.durationSeconds() < 0) return "a negative duration";
  }
  // A file without a header of its own reads as the list's header and no rows: the edits leave
  // it without the header it never had.
  const bool shaped = file.size() >= engine::kHtmlHeaderSize && logview::headerEnd(file) != 0 &&
                      recorderShaped(body, rows);
  const int item = pickItem(data[1], rows);
  const int rangeEnd = pickItem(data[2], rows);

  const std::filesystem::path folder = scratch;
  const logview::ListFiles files = logview::ListFiles::forList(folder / "ZEruTestNew.htm");
  writeScratchFile(files.list, file);
  const std::string earlier = std::string(head) + "earlier result";
  if (earlierResult) writeScratchFile(files.find, earlier);

  std::vector<ListRow> pageRows;
  if (op <= 1) {
    const auto order = op == 0 ? logview::ListOrder::kByPort : logview::ListOrder::kByDuration;
    logview::sortToFindFile(files, order);
    const std::string page = readOr(files.find, "");
    if (std::string fault = pageFault(page, head, rows, pageRows, false); !fault.empty()) {
      return "sorted page: " + fault;
    }
    std::size_t kept = 0;
    for (const ListRow& row : rows) {
      kept += order == logview::ListOrder::kByDuration ||
              (row.portNumber() >= 1 && row.portNumber() <= 256);
    }
    if (pageRows.size() != kept)
      return "the sort kept " + std::to_string(pageRows.size()) + " rows";
    for (std::size_t i = 1; i < pageRows.size(); ++i) {
      const bool inOrder = order == logview::ListOrder::kByPort
                               ? pageRows[i - 1].portNumber() <= pageRows[i].portNumber()
                               : pageRows[i - 1].durationSeconds() >= pageRows[i].durationSeconds();
      if (!inOrder) return "sorted rows out of order at " + std::to_string(i);
    }
  } else if (op == 8) {
    const std::string page = logview::viewHtml(file);
    if (!page.starts_with(head)) return "viewer page: does not start with the list's header";
    pageRows = logview::parseRows(std::string_view(page).substr(head.size()));
    if (std::string fault = wholeRowsFault(std::string_view(page).substr(head.size()), pageRows);
        !fault.empty()) {
      return "viewer page: " + fault;
    }
    if (pageRows.size() != rows.size()) return "viewer page: another number of rows";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (pageRows[i].item != rows[i].item || pageRows[i].link != rows[i].link) {
        return "viewer page: row " + std::to_string(i) + " changed beyond its text";
      }
    }
  } else {
    logview::ImmediateListEditor editor(folder, files.list);
    test::ScriptedPrompt prompt;
    prompt.answers.assign(4, answer);
    if (op == 7) makeRecordings(folder, rows);
    logview::FileManagerSession session(files, editor, prompt);
    logview::Outcome outcome = logview::Outcome::kClosed;
    switch (op) {
      case 2: {
        logview::SearchFields fields;
        fields.text = text;
        fields.fromYear = date[0];
        fields.fromMonth = date[1];
        fields.fromDay = date[2];
        fields.toYear = date[3];
        fields.toMonth = date[4];
        fields.toDay = date[5];
        outcome = session.search(fields);
        const std::string page = readOr(files.find, "");
        if (std::string fault = pageFault(page, head, rows, pageRows, true); !fault.empty()) {
          return "search result: " + fault;
        }
        const logview::SearchQuery query = fields.query();
        for (const ListRow& row : pageRows) {
          const std::string key = row.dateKey();
          if (key < query.fromKey || key > query.toKey) return "a row found outside the dates";
        }
        break;
      }
      case 3:
        outcome = session.editItem(item, [&](const logview::EditItemFields&) {
          return answer ? std::optional<std::string>(text) : std::nullopt;
        });
        break;
      case 4:
        outcome = session.deleteItem(item);
        break;
      case 5:
        outcome = session.deleteRange(item, rangeEnd);
        break;
      case 6:
        outcome = session.deleteAll();
        break;
      case 7:
        outcome = session.batchWaveConversion(int(data[1] % 3));
        break;
      default:
        session.exit();
        break;
    }
    if (outcome == logview::Outcome::kStaysOpen) session.exit();
  }

  // The working files: no copy left; the earlier result is back unless a result replaced it.
  if (logview::fileExists(files.editCopy)) return "the edit copy was left behind";
  if (logview::fileExists(files.findBackup)) return "the find backup was left behind";
  // It comes back when the file manager is left without a result: after Exit, a batch, a No to
  // a delete's question, or an item operation on a list without rows. The viewer's page leaves
  // it alone.
  const bool left =
      op == 7 || op == 8 || op == 9 || (op >= 3 && rows.empty()) || (op >= 4 && op <= 6 && !answer);
  if (earlierResult && left && readOr(files.find, "") != earlier) {
    return "the earlier result did not come back";
  }

  // The list: changed only by the edits, and then only as they say.
  const std::string after = readOr(files.list, "<gone>");
  const bool changes = answer && op >= 3 && op <= 6;
  if (!changes) {
    if (after != file) return "the list changed";
  } else if (shaped && after != "<gone>") {
    if (!after.starts_with(head)) return "edited list: lost its header";
    const std::string_view afterBody = std::string_view(after).substr(head.size());
    const std::vector<ListRow> afterRows = logview::parseRows(afterBody);
    if (std::string fault = wholeRowsFault(afterBody, afterRows); !fault.empty()) {
      return "edited list: " + fault;
    }
    if (op == 3) {
      if (afterRows.size() != rows.size()) return "edited list: another number of rows";
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (afterRows[i].item != rows[i].item || afterRows[i].dateTime != rows[i].dateTime ||
            afterRows[i].duration != rows[i].duration) {
          return "edited list: row " + std::to_string(i) + " changed beyond its text";
        }
        if (afterRows[i].text != rows[i].text && rows[i].item != item) {
          return "edited list: the text of another item changed";
        }
      }
    } else {
      if (std::string fault = subsequenceFault(afterRows, rows); !fault.empty()) {
        return "edited list: " + fault;
      }
      // Every row taken away is one the delete names.
      std::size_t j = 0;
      for (const ListRow& row : rows) {
        if (j < afterRows.size() && afterRows[j].content == row.content) {
          ++j;
          continue;
        }
        const bool all = op == 6 || (op == 5 && logview::rangeCoversAll(item, rangeEnd,
                                                                        logview::latestItem(rows)));
        const bool named = all || (op == 4 && row.item == item) ||
                           (op == 5 && row.item <= item && row.item >= rangeEnd);
        if (!named) return "edited list: item " + std::to_string(row.item) + " taken away";
      }
    }
  }

  // Delete All clears the recording folder.
  if (op == 6 && answer && !rows.empty()) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      if (!entry.is_directory()) return entry.path().filename().string() + ": left by Delete All";
    }
  }

  // The batch folder: WAV files only, each a header and its data.
  if (op == 7) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      if (!entry.is_directory()) continue;
      for (const auto& wav : std::filesystem::directory_iterator(entry.path(), ec)) {
        const std::string name = wav.path().filename().string();
        if (!name.ends_with(".WAV") || !wav.is_regular_file()) return name + ": not a WAV file";
        const std::string bytes = readOr(wav.path(), "");
        if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0) {
          return name + ": no WAV header";
        }
      }
    }
  }
  return {};
}

}  // namespace parvolin::fuzz
