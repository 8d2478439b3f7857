#include "logview/list_order.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "logview/list_rows.h"

namespace parvolin::logview {
namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 256;

}  // namespace

std::string sortedRows(std::string_view body, ListOrder order) {
  const std::vector<ListRow> rows = parseRows(body);
  // Each kept row with its key, ordered by the key alone: a stable sort keeps list order among
  // equal keys.
  std::vector<std::pair<int, const ListRow*>> kept;
  kept.reserve(rows.size());
  for (const ListRow& row : rows) {
    if (order == ListOrder::kByPort) {
      const int port = row.portNumber();
      if (port >= kFirstPort && port <= kLastPort) kept.emplace_back(port, &row);
    } else {
      kept.emplace_back(-row.durationSeconds(), &row);  // longest first
    }
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string out;
  out.reserve(body.size() + kept.size() * kLineEnd.size());
  for (const auto& [key, row] : kept) row->appendNormalized(out);
  return out;
}

std::string searchDateKey(int year, int month, int day) {
  char key[48];
  std::snprintf(key, sizeof key, "%02d-%02d-%02d", year, month, day);
  return key;
}

namespace {

char upperAsciiChar(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool rowMatches(const ListRow& row, const SearchQuery& query) {
  const std::string key = row.dateKey();
  if (key < query.fromKey || key > query.toKey) return false;
  if (query.text.empty()) return true;
  const auto hit =
      std::search(row.text.begin(), row.text.end(), query.text.begin(), query.text.end(),
                  [](char a, char b) { return upperAsciiChar(a) == upperAsciiChar(b); });
  return hit != row.text.end();
}

std::string matchingRows(std::string_view body, const SearchQuery& query) {
  std::string out;
  for (const ListRow& row : parseRows(body)) {
    if (rowMatches(row, query)) row.appendNormalized(out);
  }
  return out;
}

std::string viewHtml(std::string_view file) {
  std::string page(listHead(file));
  for (const ListRow& row : parseRows(listBody(file))) {
    const std::string whole = row.normalized();
    page.append(whole, 0, row.textOffset);
    for (const char c : row.text) {
      switch (c) {
        case '<':
          page += "&lt;";
          break;
        case '>':
          page += "&gt;";
          break;
        case '&':
          page += "&amp;";
          break;
        default:
          page += c;
      }
    }
    page.append(whole, row.textOffset + row.text.size());
  }
  return page;
}

}  // namespace parvolin::logview
