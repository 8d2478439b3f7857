#pragma once

// The rows the log viewer shows, read once from a page (the list or a find file) through
// parseRows and kept with the bytes they point into, so that a view can ask for any cell of any
// row without copying the page. A stamp of the file says whether it changed since it was read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logview/list_rows.h"

namespace parvolin::logview {

// What identifies one version of a file without reading it: a file rewritten in place or
// replaced by another one differs in at least one of these.
struct FileStamp {
  bool exists = false;
  std::uintmax_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;  // the inode's change time: also moves on a rename over the file
  std::uint64_t inode = 0;
  std::uint64_t device = 0;

  bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::filesystem::path& file);

// The columns of the page, in its order.
enum class ListColumn { kItem, kPort, kType, kText, kDateTime, kDuration };
inline constexpr int kListColumnCount = 6;

// The page's caption and the header cells as the list's header writes them.
inline constexpr std::string_view kListCaption = "LIST OF RECORDED CALLS";
inline constexpr std::array<std::string_view, kListColumnCount> kListColumnTitles = {
    "Item", "Port", "Type", "Phone # and/or Edited Text", " Date/Time  ", "Duration"};

class ListTable {
 public:
  // Reads `page` and its rows. `pending` are rows not yet in the file (newest first, each a
  // row as the list writes it); they come before the file's rows. A page that cannot be read
  // gives a table without file rows whose stamp says it does not exist.
  static std::shared_ptr<const ListTable> load(const std::filesystem::path& page,
                                               const std::vector<std::string>& pending = {});
  // The same over bytes already read, for a page with the given stamp.
  static std::shared_ptr<const ListTable> fromBytes(std::filesystem::path page, std::string file,
                                                    const std::vector<std::string>& pending = {},
                                                    FileStamp stamp = {});

  ListTable(const ListTable&) = delete;
  ListTable& operator=(const ListTable&) = delete;

  const std::filesystem::path& page() const { return page_; }
  const FileStamp& stamp() const { return stamp_; }
  const std::vector<std::string>& pending() const { return pending_; }

  std::size_t size() const { return rows_.size(); }
  // Rows 0 to pendingCount() - 1 are the pending ones.
  std::size_t pendingCount() const { return pendingCount_; }
  const ListRow& row(std::size_t i) const { return rows_[i]; }
  // The text a cell shows: as written, without the blanks around it; the duration cell holds
  // the duration alone (its "Play" link is `row(i).link`).
  std::string_view cell(std::size_t i, ListColumn column) const;

 private:
  ListTable() = default;
  void parse();

  std::filesystem::path page_;
  FileStamp stamp_;
  std::vector<std::string> pending_;
  std::string pendingBody_;  // the pending rows end to end, each ending in CR LF
  std::string file_;
  std::vector<ListRow> rows_;  // views into pendingBody_ and file_
  std::size_t pendingCount_ = 0;
};

}  // namespace parvolin::logview
