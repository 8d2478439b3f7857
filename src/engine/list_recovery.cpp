#include "engine/list_recovery.h"

#include <cstdio>

#include "base/file_io.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/list_writer.h"
#include "engine/recording_files.h"

namespace parvolin::engine {
namespace {

// The first row of a list body, "\r\n" included; empty when there is none.
std::string_view firstRow(std::string_view body) {
  const std::size_t end = body.find("\r\n");
  return end == std::string_view::npos ? std::string_view() : body.substr(0, end + 2);
}

}  // namespace

bool rowShowsCall(std::string_view row, const CallRecord& record) {
  // htmlRow for the record, item number and text aside: the port cell follows the item cell; the
  // date cell and the duration (or "Un-Answered") end the row.
  const std::string expected = htmlRow(record, 3, false, 0);
  const std::size_t itemEnd = kRowItemOffset + 5;
  const std::size_t portEnd = expected.find("</td>", itemEnd + 5) + 5;
  const std::string_view port = std::string_view(expected).substr(itemEnd, portEnd - itemEnd);
  if (row.size() < portEnd || row.substr(itemEnd, port.size()) != port) return false;
  const std::size_t dateAt = expected.rfind("<td><p align=center>");
  const std::size_t tailEnd =
      record.isAnswered() ? expected.find("<A HREF=", dateAt) : expected.size();
  return row.find(std::string_view(expected).substr(dateAt, tailEnd - dateAt)) !=
         std::string_view::npos;
}

std::vector<CallRecord> callsMissingFromList(std::span<const CallRecord> log,
                                             std::string_view listBody) {
  const std::string_view newest = firstRow(listBody);
  if (newest.empty()) return {};
  for (std::size_t i = log.size(); i-- > 0;) {
    if (rowShowsCall(newest, log[i])) return {log.begin() + std::ptrdiff_t(i) + 1, log.end()};
  }
  return {};
}

RowRestore restoreMissingRows(const std::filesystem::path& folder,
                              const std::filesystem::path& listPath, bool wavFormat) {
  RowRestore result;
  CallLogContents log;
  if (readCallLog(folder / kCallLogName, log)) return result;
  std::string list;
  if (base::readWholeFile(listPath, list) || list.size() <= kHtmlHeaderSize) return result;
  const std::string_view body = std::string_view(list).substr(kHtmlHeaderSize);
  const std::vector<CallRecord> missing = callsMissingFromList(log.records, body);
  if (missing.empty()) return result;

  int item = readItemNumber(body, kRowItemOffset);
  std::vector<std::string> rows;
  for (const CallRecord& record : missing) {
    int mode = 3;
    bool wav = wavFormat;
    if (record.isAnswered()) {
      std::error_code error;
      if (std::filesystem::exists(
              folder / recordingFileName(record.startTime, record.portIndex, 3, true), error)) {
        wav = true;
      } else {
        for (int m = 0; m <= 3; ++m) {
          if (std::filesystem::exists(
                  folder / recordingFileName(record.startTime, record.portIndex, m, false),
                  error)) {
            wav = false;
            mode = m;
            break;
          }
        }
      }
    }
    rows.push_back(htmlRow(record, mode, wav, ++item));
  }
  std::uint64_t bytes = 0;
  result.error = prependRows(listPath, rows, bytes);
  if (!result.error) result.rows = rows.size();
  return result;
}

}  // namespace parvolin::engine
