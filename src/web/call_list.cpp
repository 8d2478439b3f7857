#include "web/call_list.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

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

// YYYYMMDDhhmmss of a date cell "MM-DD-YY hh:mm:ss" (blanks around it allowed); 0 for any
// other text.
std::int64_t whenOf(std::string_view cell) {
  const std::size_t first = cell.find_first_not_of(' ');
  if (first == std::string_view::npos) return 0;
  const std::string_view dt = cell.substr(first, 17);
  if (dt.size() != 17 || dt[2] != '-' || dt[5] != '-' || dt[8] != ' ' || dt[11] != ':' ||
      dt[14] != ':') {
    return 0;
  }
  std::int64_t when = 0;
  // Year, month, day, hour, minute, second.
  static constexpr std::size_t kPairs[] = {6, 0, 3, 9, 12, 15};
  for (const std::size_t at : kPairs) {
    const std::string_view two = dt.substr(at, 2);
    if (!isDigits(two)) return 0;
    when = when * 100 + numberOf(two);
  }
  return when + 20'000'000'000'000;  // the year's "20"
}

// The id of a row without a recording: its start and port, "c20070305-090403-p5".
std::string madeId(std::int64_t when, int port, int item) {
  char id[48];
  if (when == 0) {
    std::snprintf(id, sizeof id, "item%d", item);
  } else {
    std::snprintf(id, sizeof id, "c%08lld-%06lld-p%d", static_cast<long long>(when / 1'000'000),
                  static_cast<long long>(when % 1'000'000), port);
  }
  return id;
}

std::uint64_t hashOf(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

CallRow buildRow(const logview::ListTable& table, std::size_t i, std::string id) {
  const logview::ListRow& r = table.row(i);
  CallRow call;
  call.id = std::move(id);
  call.item = r.item;
  const std::int64_t when = whenOf(r.dateTime);
  if (when != 0) {
    const std::string digits = std::to_string(when);
    call.date = digits.substr(0, 4) + '-' + digits.substr(4, 2) + '-' + digits.substr(6, 2);
    call.time = digits.substr(8, 2) + ':' + digits.substr(10, 2) + ':' + digits.substr(12, 2);
  }
  call.port = r.portNumber();
  call.type = std::string(table.cell(i, logview::ListColumn::kType));
  call.text = std::string(r.trimmedText());
  call.duration = std::string(table.cell(i, logview::ListColumn::kDuration));
  call.seconds = r.durationSeconds();
  call.recorded = r.recorded();
  if (isRecordingName(r.link)) call.file = std::string(r.link);
  call.fingerprint = logview::rowFingerprint(r);
  return call;
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
  // What the sorts and the ids need of each row; the rows' other fields are made for the calls
  // a query returns.
  struct Entry {
    std::int64_t when = 0;  // YYYYMMDDhhmmss, for the sort by date
    int port = 0;
    int seconds = 0;
    std::string id;
  };
  std::shared_ptr<const logview::ListTable> table;
  std::vector<Entry> entries;
  // (hash of the id, row), sorted: find's index.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> byId;
  // The rows' indexes by sort and direction, made when first asked for; ties in list order.
  mutable std::array<std::once_flag, 2 * kSortCount> sorted;
  mutable std::array<std::vector<std::uint32_t>, 2 * kSortCount> orders;

  void makeIds();
  std::optional<std::size_t> rowOf(std::string_view id) const;
  CallRow call(std::size_t i) const { return buildRow(*table, i, entries[i].id); }

  const std::vector<std::uint32_t>& order(CallQuery::Sort sort, bool descending) const {
    const auto at = std::size_t(static_cast<int>(sort) * 2 + (descending ? 1 : 0));
    std::call_once(sorted[at], [&] {
      std::vector<std::uint32_t>& order = orders[at];
      order.resize(entries.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = std::uint32_t(i);
      const auto key = [&](std::uint32_t i) -> std::int64_t {
        switch (sort) {
          case CallQuery::Sort::kDate:
            return entries[i].when;
          case CallQuery::Sort::kPort:
            return entries[i].port;
          case CallQuery::Sort::kDuration:
            return entries[i].seconds;
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

// Ids are unique: a repeated one gets "-2", "-3", ... counted from the oldest row, so that the
// ids of older rows stay when newer ones come.
void CallList::Snapshot::makeIds() {
  const auto index = [&] {
    byId.clear();
    byId.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      byId.emplace_back(hashOf(entries[i].id), std::uint32_t(i));
    }
    std::sort(byId.begin(), byId.end());
  };
  index();
  bool repeated = false;
  for (std::size_t k = 1; k < byId.size() && !repeated; ++k) {
    repeated = byId[k].first == byId[k - 1].first &&
               entries[byId[k].second].id == entries[byId[k - 1].second].id;
  }
  if (!repeated) return;
  std::unordered_map<std::string, std::size_t> seen;
  for (std::size_t i = entries.size(); i-- > 0;) {
    std::string& id = entries[i].id;
    if (seen.contains(id)) {
      const std::string base = id;
      for (int k = 2; seen.contains(id); ++k) id = base + '-' + std::to_string(k);
    }
    seen.emplace(id, i);
  }
  index();
}

std::optional<std::size_t> CallList::Snapshot::rowOf(std::string_view id) const {
  const std::uint64_t hash = hashOf(id);
  auto it = std::lower_bound(byId.begin(), byId.end(), std::make_pair(hash, std::uint32_t(0)));
  for (; it != byId.end() && it->first == hash; ++it) {
    if (entries[it->second].id == id) return it->second;
  }
  return std::nullopt;
}

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
  snapshot->entries.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const logview::ListRow& r = table->row(i);
    Snapshot::Entry& e = snapshot->entries[i];
    e.when = whenOf(r.dateTime);
    e.port = r.portNumber();
    e.seconds = r.durationSeconds();
    e.id = isRecordingName(r.link) ? std::string(r.link) : madeId(e.when, e.port, r.item);
  }
  snapshot->makeIds();
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
    matches.resize(snapshot->entries.size());
    for (std::size_t i = 0; i < matches.size(); ++i) {
      matches[i] = logview::rowMatches(table.row(i), *search);
    }
  }
  const auto first = std::int64_t(page.page) * page.pageSize;
  const auto end = first + page.pageSize;
  std::int64_t seen = 0;
  for (const std::uint32_t i : snapshot->order(query.sort, query.descending)) {
    if (!everything && !matches[i]) continue;
    if (seen >= first && seen < end) page.calls.push_back(snapshot->call(i));
    ++seen;
  }
  page.total = int(seen);
  return page;
}

std::optional<CallRow> CallList::find(std::string_view id) {
  const std::shared_ptr<const Snapshot> snapshot = current();
  const auto row = snapshot->rowOf(id);
  if (!row) return std::nullopt;
  return snapshot->call(*row);
}

std::size_t CallList::size() {
  return current()->entries.size();
}

}  // namespace parvolin::web
