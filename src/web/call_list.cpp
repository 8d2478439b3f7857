#include "web/call_list.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "logview/list_rows.h"

namespace parvolin::web {
namespace {

constexpr int kSortCount = 3;
constexpr int kReadTries = 3;

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool isUrlSafe(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

int numberOf(std::string_view digits) {
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

// "YYYY-MM-DD" as year, month and day; nullopt for any other text.
std::optional<std::array<int, 3>> parseDate(std::string_view date) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return std::nullopt;
  const std::string_view y = date.substr(0, 4), m = date.substr(5, 2), d = date.substr(8, 2);
  if (!isDigits(y) || !isDigits(m) || !isDigits(d)) return std::nullopt;
  const int month = numberOf(m), day = numberOf(d);
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  return std::array<int, 3>{numberOf(y), month, day};
}

// The list's date keys hold the year less 2000 in two digits: years outside 2000-2099 are put
// at the ends of that range, or make the search find nothing.
constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2099;
// Above every key a row can have (8 bytes at most).
const std::string kAfterEveryKey(9, '\xff');

struct Built {
  CallRow row;
  std::int64_t when = 0;  // YYYYMMDDhhmmss, for the sort by date
};

Built buildRow(const logview::ListTable& table, std::size_t i) {
  const logview::ListRow& r = table.row(i);
  Built built;
  CallRow& call = built.row;
  call.item = r.item;
  const std::string_view dt = table.cell(i, logview::ListColumn::kDateTime);
  // "MM-DD-YY hh:mm:ss"
  if (dt.size() == 17 && isDigits(dt.substr(0, 2)) && dt[2] == '-' && isDigits(dt.substr(3, 2)) &&
      dt[5] == '-' && isDigits(dt.substr(6, 2)) && dt[8] == ' ' && isDigits(dt.substr(9, 2)) &&
      dt[11] == ':' && isDigits(dt.substr(12, 2)) && dt[14] == ':' && isDigits(dt.substr(15, 2))) {
    call.date = "20" + std::string(dt.substr(6, 2)) + '-' + std::string(dt.substr(0, 2)) + '-' +
                std::string(dt.substr(3, 2));
    call.time = std::string(dt.substr(9, 8));
    const auto n = [&](std::size_t at) { return std::int64_t(numberOf(dt.substr(at, 2))); };
    built.when =
        ((((((2000 + n(6)) * 100 + n(0)) * 100 + n(3)) * 100 + n(9)) * 100 + n(12)) * 100) + n(15);
  }
  call.port = r.portNumber();
  call.type = std::string(table.cell(i, logview::ListColumn::kType));
  call.text = std::string(r.trimmedText());
  call.duration = std::string(table.cell(i, logview::ListColumn::kDuration));
  call.seconds = r.durationSeconds();
  call.recorded = r.recorded();
  if (isRecordingName(r.link)) call.file = std::string(r.link);
  call.fingerprint = logview::rowFingerprint(r);
  if (!call.file.empty()) {
    call.id = call.file;
  } else if (!call.date.empty()) {
    std::string id = "c" + call.date.substr(0, 4) + call.date.substr(5, 2) +
                     call.date.substr(8, 2) + '-' + call.time.substr(0, 2) +
                     call.time.substr(3, 2) + call.time.substr(6, 2) + "-p" +
                     std::to_string(call.port);
    call.id = std::move(id);
  } else {
    call.id = "item" + std::to_string(call.item);
  }
  return built;
}

}  // namespace

bool isRecordingName(std::string_view name) {
  // "w" 8 hex digits "p" 1 hex digit, then ".WAV" or ".LV" and a mode 0-3.
  if (name.size() != 15 || name[0] != 'w' || name[9] != 'p') return false;
  if (!std::all_of(name.begin() + 1, name.begin() + 9, isUpperHex) || !isUpperHex(name[10])) {
    return false;
  }
  const std::string_view ext = name.substr(11);
  return ext == ".WAV" || (ext.starts_with(".LV") && ext[3] >= '0' && ext[3] <= '3');
}

std::optional<logview::SearchQuery> searchFor(const CallQuery& query) {
  logview::SearchQuery search;
  search.text = query.text;
  search.fromKey = "";
  search.toKey = kAfterEveryKey;
  if (query.from) {
    const auto date = parseDate(*query.from);
    if (!date || (*date)[0] > kLastYear) return std::nullopt;
    search.fromKey = (*date)[0] < kFirstYear
                         ? std::string()
                         : logview::searchDateKey((*date)[0] - 2000, (*date)[1], (*date)[2]);
  }
  if (query.to) {
    const auto date = parseDate(*query.to);
    if (!date || (*date)[0] < kFirstYear) return std::nullopt;
    search.toKey = (*date)[0] > kLastYear
                       ? kAfterEveryKey
                       : logview::searchDateKey((*date)[0] - 2000, (*date)[1], (*date)[2]);
  }
  return search;
}

struct CallList::Snapshot {
  std::shared_ptr<const logview::ListTable> table;
  std::vector<CallRow> rows;
  std::vector<std::int64_t> when;
  std::unordered_map<std::string, std::size_t> byId;
  // The rows' indexes by sort and direction, made when first asked for; ties in list order.
  mutable std::array<std::once_flag, 2 * kSortCount> sorted;
  mutable std::array<std::vector<std::uint32_t>, 2 * kSortCount> orders;

  const std::vector<std::uint32_t>& order(CallQuery::Sort sort, bool descending) const {
    const auto at = std::size_t(static_cast<int>(sort) * 2 + (descending ? 1 : 0));
    std::call_once(sorted[at], [&] {
      std::vector<std::uint32_t>& order = orders[at];
      order.resize(rows.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = std::uint32_t(i);
      const auto key = [&](std::uint32_t i) -> std::int64_t {
        switch (sort) {
          case CallQuery::Sort::kDate:
            return when[i];
          case CallQuery::Sort::kPort:
            return rows[i].port;
          case CallQuery::Sort::kDuration:
            return rows[i].seconds;
        }
        return 0;
      };
      std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return descending ? key(a) > key(b) : key(a) < key(b);
      });
    });
    return orders[at];
  }
};

CallList::CallList(std::filesystem::path listFile) : listFile_(std::move(listFile)) {}

std::shared_ptr<const CallList::Snapshot> CallList::current() {
  std::lock_guard lock(mutex_);
  if (snapshot_ && snapshot_->table->stamp() == logview::stampOf(listFile_)) return snapshot_;
  std::shared_ptr<const logview::ListTable> table;
  // A list rewritten while it was read is read again: the stamp after the read must be the one
  // before it.
  for (int tries = 0; tries < kReadTries; ++tries) {
    table = logview::ListTable::load(listFile_);
    if (table->stamp() == logview::stampOf(listFile_)) break;
  }
  auto snapshot = std::make_shared<Snapshot>();
  snapshot->table = table;
  const std::size_t n = table->size();
  snapshot->rows.reserve(n);
  snapshot->when.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    Built built = buildRow(*table, i);
    snapshot->rows.push_back(std::move(built.row));
    snapshot->when.push_back(built.when);
  }
  // Ids are unique: a repeated one gets "-2", "-3", ... counted from the oldest row, so that the
  // ids of older rows stay when newer ones come.
  snapshot->byId.reserve(n);
  for (std::size_t i = n; i-- > 0;) {
    CallRow& row = snapshot->rows[i];
    std::erase_if(row.id, [](char c) { return !isUrlSafe(c); });
    if (row.id.empty()) row.id = "item";
    if (snapshot->byId.contains(row.id)) {
      const std::string base = row.id;
      for (int k = 2; snapshot->byId.contains(row.id); ++k) row.id = base + '-' + std::to_string(k);
    }
    snapshot->byId.emplace(row.id, i);
  }
  snapshot_ = std::move(snapshot);
  return snapshot_;
}

CallPage CallList::query(const CallQuery& query) {
  const std::shared_ptr<const Snapshot> snapshot = current();
  CallPage page;
  page.pageSize = std::clamp(query.pageSize, 1, CallQuery::kMaxPageSize);
  page.page = std::max(query.page, 0);
  const auto search = searchFor(query);
  if (!search) return page;
  const bool everything =
      search->text.empty() && search->fromKey.empty() && search->toKey == kAfterEveryKey;
  const logview::ListTable& table = *snapshot->table;
  std::vector<bool> matches;
  if (!everything) {
    matches.resize(snapshot->rows.size());
    for (std::size_t i = 0; i < matches.size(); ++i) {
      matches[i] = logview::rowMatches(table.row(i), *search);
    }
  }
  const auto first = std::int64_t(page.page) * page.pageSize;
  const auto end = first + page.pageSize;
  std::int64_t seen = 0;
  for (const std::uint32_t i : snapshot->order(query.sort, query.descending)) {
    if (!everything && !matches[i]) continue;
    if (seen >= first && seen < end) page.calls.push_back(snapshot->rows[i]);
    ++seen;
  }
  page.total = int(seen);
  return page;
}

std::optional<CallRow> CallList::find(std::string_view id) {
  const std::shared_ptr<const Snapshot> snapshot = current();
  const auto it = snapshot->byId.find(std::string(id));
  if (it == snapshot->byId.end()) return std::nullopt;
  return snapshot->rows[it->second];
}

std::size_t CallList::size() {
  return current()->rows.size();
}

}  // namespace parvolin::web
