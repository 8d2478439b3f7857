#include "logview/list_order.h"

#include <gtest/gtest.h>

#include "list_builder.h"
#include "logview/list_rows.h"

namespace parvolin::logview::test {
namespace {

using ListOrders = ListTest;

std::vector<int> itemsOf(const std::string& rows) {
  std::vector<int> items;
  for (const ListRow& row : parseRows(rows)) items.push_back(row.item);
  return items;
}

TEST_F(ListOrders, ByPortAscendingWithinAPortInListOrder) {
  // Items 4..1 on ports 3, 1, 3, 2 (newest first).
  const std::string list = listOf({{4, 3}, {3, 1}, {2, 3}, {1, 2}});
  EXPECT_EQ(itemsOf(sortedRows(listBody(list), ListOrder::kByPort)),
            (std::vector<int>{3, 1, 4, 2}));

  // Ports outside 1-256 are left out, and whatever followed the last row is not carried over.
  std::string body = std::string(listBody(list));
  std::string odd = rowOf({9, 1});
  odd.replace(kRowFixedPrefix, 1, "0");
  std::string big = rowOf({8, 1});
  big.replace(kRowFixedPrefix, 1, "257");
  std::string top = rowOf({7, 1});
  top.replace(kRowFixedPrefix, 1, "256");
  const std::string sorted =
      sortedRows(odd + big + top + body + "<tr><td>tail", ListOrder::kByPort);
  EXPECT_EQ(itemsOf(sorted), (std::vector<int>{3, 1, 4, 2, 7}));
  EXPECT_TRUE(sorted.ends_with("</td></tr>\r\n"));
}

TEST_F(ListOrders, ByDurationLongestFirstTiesAndUnansweredInListOrder) {
  // 30 s, un-answered, 125 s, 30 s.
  std::string list = listOf({{4, 1, 30}, {3, 1, -1}, {2, 1, 125}, {1, 1, 30}});
  EXPECT_EQ(itemsOf(sortedRows(listBody(list), ListOrder::kByDuration)),
            (std::vector<int>{2, 4, 1, 3}));
  // A recorded call of 0 s and an un-answered one both count as 0 and keep their order.
  list = listOf({{3, 1, -1}, {2, 1, 0}, {1, 1, 1}});
  EXPECT_EQ(itemsOf(sortedRows(listBody(list), ListOrder::kByDuration)),
            (std::vector<int>{1, 3, 2}));
}

TEST_F(ListOrders, SearchByDateRangeAndTextWithoutRegardToCase) {
  const std::time_t today = std::time(nullptr);
  const std::uint32_t now = std::uint32_t(today / kDay * kDay + kDay / 2);  // today at noon
  const std::string list = listOf({{4, 1, 30, "Smith office", now},
                                   {3, 1, 30, "5551234", now},
                                   {2, 1, -1, "smithers", now - 2 * kDay},
                                   {1, 1, 30, "", kMarch5}});
  const std::string body(listBody(list));
  std::tm local{};
  localtime_r(&today, &local);
  const std::string todayKey = searchDateKey(local.tm_year - 100, local.tm_mon + 1, local.tm_mday);
  struct Case {
    SearchQuery query;
    std::vector<int> items;
  };
  const std::vector<Case> cases = {
      {{"", todayKey, todayKey}, {4, 3}},  // empty text, both dates today: today's calls
      {{"SMITH", "00-01-01", "99-12-31"}, {4, 2}},
      {{"smith", "00-01-01", "99-12-31"}, {4, 2}},
      {{"sMiTh OF", "00-01-01", "99-12-31"}, {4}},
      {{"", "07-03-05", "07-03-05"}, {1}},
      {{"", searchDateKey(6, 5, 1), searchDateKey(6, 4, 30)}, {}},      // from after to
      {{"", searchDateKey(2007, 1, 1), searchDateKey(7, 12, 31)}, {}},  // a four-digit year
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query.text + " " + c.query.fromKey + ".." + c.query.toKey);
    EXPECT_EQ(itemsOf(matchingRows(body, c.query)), c.items);
  }
  EXPECT_EQ(searchDateKey(6, 5, 31), "06-05-31");
  EXPECT_EQ(searchDateKey(2006, 5, 31), "2006-05-31");
}

TEST_F(ListOrders, TheViewShowsCallerNumbersAsWrittenNotAsMarkup) {
  const std::string list = listOf({{2, 1, 30, "<5551234>&"}, {1, 1, -1}}) + "<tr><td>tail";
  const std::string page = viewHtml(list);
  EXPECT_TRUE(page.starts_with(engine::kHtmlHeader));
  EXPECT_NE(page.find("<td>&lt;5551234&gt;&amp;            </td>"), std::string::npos);
  EXPECT_NE(page.find("<A HREF=\"w45EBDD04p0.LV3\">Play</A>"), std::string::npos);
  EXPECT_TRUE(page.ends_with(rowOf({1, 1, -1}))) << "the tail is left out";
}

}  // namespace
}  // namespace parvolin::logview::test
