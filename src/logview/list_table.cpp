#include "logview/list_table.h"

#include <sys/stat.h>

#include "base/file_io.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"

namespace parvolin::logview {
namespace {

std::string_view trimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::int64_t nanoseconds(const timespec& t) {
  return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

FileStamp stampOf(const std::filesystem::path& file) {
  struct stat st {};
  FileStamp stamp;
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return stamp;
  stamp.exists = true;
  stamp.size = std::uintmax_t(st.st_size);
  stamp.modifiedNs = nanoseconds(st.st_mtim);
  stamp.changedNs = nanoseconds(st.st_ctim);
  stamp.inode = std::uint64_t(st.st_ino);
  stamp.device = std::uint64_t(st.st_dev);
  return stamp;
}

std::shared_ptr<const ListTable> ListTable::load(const std::filesystem::path& page,
                                                 const std::vector<std::string>& pending) {
  // The stamp before the bytes: a change while reading shows as a different stamp next time.
  FileStamp stamp = stampOf(page);
  std::string file;
  if (!stamp.exists || base::readWholeFile(page, file)) {
    file.clear();
    stamp = FileStamp{};
  }
  return fromBytes(page, std::move(file), pending, stamp);
}

std::shared_ptr<const ListTable> ListTable::fromBytes(std::filesystem::path page, std::string file,
                                                      const std::vector<std::string>& pending,
                                                      FileStamp stamp) {
  std::shared_ptr<ListTable> table(new ListTable);
  table->page_ = std::move(page);
  table->stamp_ = stamp;
  table->pending_ = pending;
  table->file_ = std::move(file);
  table->parse();
  return table;
}

void ListTable::parse() {
  for (const std::string& row : pending_) {
    pendingBody_ += row;
    // A row handed over without its line end must not take the next row's first bytes as one.
    if (!row.ends_with(kLineEnd)) pendingBody_ += kLineEnd;
  }
  rows_ = parseRows(pendingBody_);
  std::vector<ListRow> fileRows = parseRows(listBody(file_));
  // The waiting rows are taken before the file is read: a rewrite that ended in between put some
  // of them in the file already. Those are shown once, from the file.
  if (!fileRows.empty()) {
    const auto item = [](const ListRow& row) {
      return engine::readItemNumber(row.content, engine::kRowItemOffset);
    };
    const int newestInFile = item(fileRows.front());
    std::erase_if(rows_, [&](const ListRow& row) { return item(row) <= newestInFile; });
  }
  pendingCount_ = rows_.size();
  if (rows_.empty()) {
    rows_ = std::move(fileRows);
  } else {
    rows_.insert(rows_.end(), fileRows.begin(), fileRows.end());
  }
}

std::string_view ListTable::cell(std::size_t i, ListColumn column) const {
  const ListRow& r = rows_[i];
  switch (column) {
    case ListColumn::kItem: {
      if (r.content.size() <= engine::kRowItemOffset) return {};
      const std::string_view rest = r.content.substr(engine::kRowItemOffset);
      return trimBlanks(rest.substr(0, rest.find('<')));
    }
    case ListColumn::kPort:
      return trimBlanks(r.port);
    case ListColumn::kType:
      return trimBlanks(r.type);
    case ListColumn::kText:
      return trimBlanks(r.text);
    case ListColumn::kDateTime:
      return trimBlanks(r.dateTime);
    case ListColumn::kDuration:
      return trimBlanks(r.duration);
  }
  return {};
}

}  // namespace parvolin::logview
