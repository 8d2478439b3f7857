#include "engine/html_list.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "base/file_io.h"
#include "base/folder_lock.h"
#include "engine/recording_files.h"

namespace parvolin::engine {
namespace {

constexpr char kHeaderText[] =
    "<title>Parvolin Document</title>\r\n"
    "<meta http-equiv=Content-Type content=\"text/html;           \">\r\n"
    "<table border=\"1\"width=\"100%\"BGCOLOR=aqua>\r\n"
    "<caption><B>LIST OF RECORDED CALLS</B></caption>\r\n   \r\n"
    "<tr><th>Item</th><th>Port</th><th>Type</th><th>Phone # and/or Edited Text</th>"
    "<th> Date/Time  </th><th>Duration</th></tr>\r\n";
static_assert(sizeof(kHeaderText) - 1 == kHtmlHeaderSize, "the list header is 320 bytes");

constexpr char kUnansweredCell[] = "<td>Un-Answered</td></tr>\r\n";

}  // namespace

const std::string_view kHtmlHeader{kHeaderText, kHtmlHeaderSize};

std::size_t htmlHeaderEnd(std::string_view list) {
  // The header is six short lines; an editor may have changed their line ends or blanks, but a
  // header far longer than the list's own is some other page.
  constexpr std::size_t kLongestHeader = 2 * kHtmlHeaderSize;
  constexpr std::string_view kTitlesEnd = "</th></tr>";
  const std::size_t titles = list.substr(0, kLongestHeader).find(kTitlesEnd);
  if (titles == std::string_view::npos) return 0;
  const std::size_t end = titles + kTitlesEnd.size();
  const std::string_view rest = list.substr(end);
  if (rest.starts_with("\r\n")) return end + 2;
  if (rest.starts_with('\n')) return end + 1;
  return 0;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string htmlRow(const CallRecord& record, int audioMode, bool wavFormat, int itemNumber) {
  char piece[256];
  std::string row;
  std::snprintf(piece, sizeof piece, "<tr><td><p align=center>%5d</td><td><p align=center>%d</td>",
                itemNumber, record.portIndex + 1);
  row += piece;

  std::string typeAndText = "<td><p align=center>";
  typeAndText += (record.callType & kOutgoingBit) ? "Out" : "In";
  typeAndText += "</td><td>";
  typeAndText.append(record.text());
  typeAndText += "</td>";
  if (record.callType == kCallVar) typeAndText = replaceAll(typeAndText, "Out", "VAR");
  row += typeAndText;

  const std::time_t start = std::time_t(record.startTime);
  std::tm local{};
  localtime_r(&start, &local);
  std::snprintf(piece, sizeof piece, "<td><p align=center>%02d-%02d-%02d %02d:%02d:%02d</td>",
                local.tm_mon + 1, local.tm_mday, local.tm_year + 1900 - 2000, local.tm_hour,
                local.tm_min, local.tm_sec);
  row += piece;

  if (record.isAnswered()) {
    const std::string name =
        recordingFileName(record.startTime, record.portIndex, audioMode, wavFormat);
    std::snprintf(piece, sizeof piece,
                  "<td><p align=right>%d'%02d\"<A HREF=\"%s\">Play</A></td></tr>\r\n",
                  record.durationSec / 60, record.durationSec % 60, name.c_str());
    row += piece;
  } else {
    row += kUnansweredCell;
  }
  return row;
}

std::error_code appendHtmlRow(const std::filesystem::path& listPath, const CallRecord& record,
                              int audioMode, bool wavFormat, std::int32_t& rowCountCache) {
  const ListRowCall call{record, audioMode, wavFormat};
  return appendHtmlRows(listPath, std::span(&call, 1), rowCountCache);
}

std::error_code appendHtmlRows(const std::filesystem::path& listPath,
                               std::span<const ListRowCall> calls, std::int32_t& rowCountCache) {
  if (calls.empty()) return {};
  std::string list;
  std::error_code error = base::readWholeFile(listPath, list);
  int lastItem = 0;
  std::size_t headerEnd = kHtmlHeaderSize;
  if (error == std::errc::no_such_file_or_directory) {
    list.assign(kHtmlHeader);
  } else if (error) {
    // A list that is there but cannot be read is never replaced.
    return error;
  } else {
    // A file too short for the header holds no row; it gets the header it lacks.
    if (list.size() < kHtmlHeaderSize) list.assign(kHtmlHeader);
    // Rows go right after the header, also in a list saved with LF line ends.
    if (const std::size_t end = htmlHeaderEnd(list)) headerEnd = end;
    lastItem = rowCountCache != -1
                   ? rowCountCache
                   : readItemNumber(std::string_view(list).substr(headerEnd), kRowItemOffset);
  }
  // Newest on top: each call's row goes above the one before it.
  std::string rows;
  int item = lastItem;
  for (const ListRowCall& call : calls) {
    rows.insert(0, htmlRow(call.record, call.audioMode, call.wavFormat, ++item));
  }
  list.insert(headerEnd, rows);
  error = base::replaceFileContents(listPath, list);
  if (error) return error;
  rowCountCache = item;
  return {};
}

ListEditResult applyPendingListEdit(const std::filesystem::path& folder,
                                    const std::filesystem::path& listPath, PendingListEdit& edit,
                                    std::span<const std::string> inUse) {
  ListEditResult result;
  if (!edit.isPending()) return result;
  std::string list;
  result.error = base::readWholeFile(listPath, list);
  if (result.error) return result;

  const std::size_t found = htmlHeaderEnd(list);
  const std::size_t headerEnd = found != 0 ? found : std::min(list.size(), kHtmlHeaderSize);
  const std::string head = list.substr(0, headerEnd);
  const std::string body =
      list.size() > headerEnd
          ? replaceAll(std::string_view(list).substr(headerEnd), edit.oldText, edit.newText)
          : std::string();
  if (!body.empty()) {
    result.error = base::replaceFileContents(listPath, head + body);
    if (result.error) return result;
  } else {
    std::filesystem::remove(listPath, result.error);
    if (result.error) return result;
    if (edit.deleteAll) {
      // Collected first, so that no entry is removed from under the iteration.
      std::vector<std::filesystem::path> files;
      std::error_code error;
      for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
           it.increment(error)) {
        std::error_code statusError;
        if (it->symlink_status(statusError).type() == std::filesystem::file_type::directory) {
          continue;
        }
        const std::string name = it->path().filename().string();
        // The folder's lock belongs to whoever is clearing it, as do the files in use.
        if (name != base::kFolderLockName &&
            std::find(inUse.begin(), inUse.end(), name) == inUse.end()) {
          files.push_back(it->path());
        }
      }
      for (const std::filesystem::path& file : files) {
        std::error_code removeError;
        std::filesystem::remove(file, removeError);
        if (removeError) result.undeleted.push_back(file);
      }
    }
    base::syncFolder(folder);
  }
  edit.clear();
  result.applied = true;
  return result;
}

}  // namespace parvolin::engine
