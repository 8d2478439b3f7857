#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "logview/list_builder.h"
#include "logview/list_order.h"
#include "logview/list_rows.h"
#include "web/call_list.h"

namespace parvolin::web {
namespace {

using logview::test::Call;
using logview::test::kDay;
using logview::test::kMarch5;
using logview::test::listOf;
using logview::test::ListTest;
using logview::test::writeFile;

// Fingerprints of every call a query finds, over all its pages.
std::vector<std::string> allFound(CallList& list, CallQuery query) {
  std::vector<std::string> found;
  query.pageSize = 7;  // several pages
  for (query.page = 0;; ++query.page) {
    const CallPage page = list.query(query);
    for (const CallRow& row : page.calls) found.push_back(row.fingerprint);
    if (page.calls.empty()) {
      EXPECT_EQ(int(found.size()), page.total);
      break;
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::string> fingerprintsOf(std::string_view rows) {
  std::vector<std::string> found;
  for (const auto& row : logview::parseRows(rows)) found.push_back(logview::rowFingerprint(row));
  std::sort(found.begin(), found.end());
  return found;
}

// A list over three years, with texts in mixed case and one that is markup.
std::vector<Call> mixedCalls() {
  const char* texts[] = {"5551234", "Boss",      "boss line", "", "<img src=x onerror=alert(1)>",
                         "BOSS",    "x5551234y", "annex"};
  std::vector<Call> calls;
  for (int item = 60; item >= 1; --item) {
    // 2007-03-05 onwards, every 23 days, so that the calls cross months and years.
    const std::uint32_t start = kMarch5 + std::uint32_t(item) * 23 * kDay;
    calls.push_back({item, item % 16 + 1, item % 5 == 0 ? -1 : 7 * item,
                     texts[item % std::size(texts)], start});
  }
  return calls;
}

class CallListTest : public ListTest {};

TEST_F(CallListTest, FindsExactlyWhatTheFileManagersSearchFinds) {
  const std::string list = listOf(mixedCalls());
  writeFile(folder.path() / "list.htm", list);
  CallList calls(folder.path() / "list.htm");
  struct Case {
    std::string text;
    std::optional<std::string> from, to;
    // The file manager's boxes for the same search: year (2 digits), month, day.
    int fromY, fromM, fromD, toY, toM, toD;
  };
  const Case cases[] = {
      {"", {}, {}, 0, 1, 1, 99, 12, 31},
      {"boss", {}, {}, 0, 1, 1, 99, 12, 31},
      {"BOSS", {}, {}, 0, 1, 1, 99, 12, 31},
      {"bOsS LiNe", {}, {}, 0, 1, 1, 99, 12, 31},
      {"555", {}, {}, 0, 1, 1, 99, 12, 31},
      {"<img", {}, {}, 0, 1, 1, 99, 12, 31},
      {"nothing like it", {}, {}, 0, 1, 1, 99, 12, 31},
      {"", "2007-06-01", "2008-01-31", 7, 6, 1, 8, 1, 31},
      {"boss", "2007-06-01", "2008-06-30", 7, 6, 1, 8, 6, 30},
      {"", "2008-01-01", {}, 8, 1, 1, 99, 12, 31},
      {"", {}, "2007-12-31", 0, 1, 1, 7, 12, 31},
      {"", "2008-05-01", "2007-05-01", 8, 5, 1, 7, 5, 1},  // from after to: nothing
      {"", "1999-01-01", "2150-01-01", 0, 1, 1, 99, 12, 31},
      {"", "2007-03-28", "2007-03-28", 7, 3, 28, 7, 3, 28},  // one day: item 1's
  };
  for (const Case& c : cases) {
    CallQuery query;
    query.text = c.text;
    query.from = c.from;
    query.to = c.to;
    logview::SearchQuery manager{c.text, logview::searchDateKey(c.fromY, c.fromM, c.fromD),
                                 logview::searchDateKey(c.toY, c.toM, c.toD)};
    const auto expected = fingerprintsOf(logview::matchingRows(logview::listBody(list), manager));
    for (const auto sort :
         {CallQuery::Sort::kDate, CallQuery::Sort::kPort, CallQuery::Sort::kDuration}) {
      query.sort = sort;
      EXPECT_EQ(allFound(calls, query), expected)
          << "'" << c.text << "' " << c.from.value_or("-") << " " << c.to.value_or("-");
    }
  }
  // A date that is no date finds nothing (the server refuses it before asking).
  for (const std::string bad : {"2007-3-5", "07-03-05", "2007-13-01", "2007-03-05x", ""}) {
    CallQuery query;
    query.from = bad;
    EXPECT_EQ(calls.query(query).total, 0) << bad;
  }
}

TEST_F(CallListTest, SortsWithTiesInListOrderAndPages) {
  // Items 6..1, newest first: ports 2, 1, 2, 1, 3, 1; durations 30, 90, 30, 0 (un-answered),
  // 125, 30; starts one day apart, except that item 3 began before item 2.
  const std::vector<Call> calls = {
      {6, 2, 30, "f", kMarch5 + 6 * kDay},  {5, 1, 90, "e", kMarch5 + 5 * kDay},
      {4, 2, 30, "d", kMarch5 + 4 * kDay},  {3, 1, -1, "c", kMarch5 + 1 * kDay},
      {2, 3, 125, "b", kMarch5 + 2 * kDay}, {1, 1, 30, "a", kMarch5 + 0 * kDay},
  };
  writeFile(folder.path() / "list.htm", listOf(calls));
  CallList list(folder.path() / "list.htm");
  const auto items = [&](CallQuery::Sort sort, bool descending, int page = 0, int size = 50) {
    CallQuery query;
    query.sort = sort;
    query.descending = descending;
    query.page = page;
    query.pageSize = size;
    std::vector<int> out;
    for (const CallRow& row : list.query(query).calls) out.push_back(row.item);
    return out;
  };
  using S = CallQuery::Sort;
  EXPECT_EQ(items(S::kDate, true), (std::vector<int>{6, 5, 4, 2, 3, 1}));
  EXPECT_EQ(items(S::kDate, false), (std::vector<int>{1, 3, 2, 4, 5, 6}));
  EXPECT_EQ(items(S::kPort, false), (std::vector<int>{5, 3, 1, 6, 4, 2}));
  EXPECT_EQ(items(S::kPort, true), (std::vector<int>{2, 6, 4, 5, 3, 1}));
  EXPECT_EQ(items(S::kDuration, true), (std::vector<int>{2, 5, 6, 4, 1, 3}));
  EXPECT_EQ(items(S::kDuration, false), (std::vector<int>{3, 6, 4, 1, 5, 2}));
  // Pages, a page past the end, and page sizes held to 1-200.
  EXPECT_EQ(items(S::kDate, true, 1, 4), (std::vector<int>{3, 1}));
  EXPECT_EQ(items(S::kDate, true, 2, 4), (std::vector<int>{}));
  EXPECT_EQ(items(S::kDate, true, 0, 0), (std::vector<int>{6}));
  EXPECT_EQ(items(S::kDate, true, -3, 2), (std::vector<int>{6, 5}));
  CallQuery huge;
  huge.pageSize = 100000;
  EXPECT_EQ(list.query(huge).pageSize, 200);
  EXPECT_EQ(list.query(huge).total, 6);
}

TEST_F(CallListTest, RowsCarryTheirCellsAndUniqueUrlSafeIds) {
  std::string list = listOf({
      {4, 12, 125, "<b>&\"'", kMarch5},
      {3, 2, -1, "", kMarch5 + 100},
      {2, 2, -1, "", kMarch5 + 100},
      {1, 5, 9, "boss   ", kMarch5},
  });
  // A hand-edited link that points out of the folder is no recording to serve.
  const std::size_t link = list.rfind("HREF=\"") + 6;
  list.replace(link, 15, "../../etc/passw");
  writeFile(folder.path() / "list.htm", list);
  CallList calls(folder.path() / "list.htm");
  CallQuery query;
  query.sort = CallQuery::Sort::kDate;
  const CallPage page = calls.query(query);
  ASSERT_EQ(page.total, 4);
  std::vector<CallRow> byItem(page.calls.rbegin(), page.calls.rend());
  std::sort(byItem.begin(), byItem.end(),
            [](const CallRow& a, const CallRow& b) { return a.item < b.item; });

  const CallRow& four = byItem[3];
  EXPECT_EQ(four.id, "w45EBDD06pB.LV3");  // kMarch5 + 4, port index 11
  EXPECT_EQ(four.file, four.id);
  EXPECT_EQ(four.date, "2007-03-05");
  EXPECT_EQ(four.time, "09:04:06");
  EXPECT_EQ(four.port, 12);
  EXPECT_EQ(four.type, "In");
  EXPECT_EQ(four.text, "<b>&\"'");
  EXPECT_EQ(four.duration, "2'05\"");
  EXPECT_EQ(four.seconds, 125);
  EXPECT_TRUE(four.recorded);
  EXPECT_EQ(four.fingerprint.size(), 16u);

  EXPECT_EQ(byItem[0].text, "boss");
  EXPECT_EQ(byItem[0].file, "");  // its link leads out of the folder
  EXPECT_EQ(byItem[0].id, "c20070305-090403-p5");
  EXPECT_TRUE(byItem[0].recorded);
  EXPECT_EQ(byItem[1].duration, "Un-Answered");
  EXPECT_FALSE(byItem[1].recorded);
  EXPECT_EQ(byItem[1].file, "");
  EXPECT_EQ(byItem[1].id, "c20070305-090544-p2");
  EXPECT_EQ(byItem[2].id, "c20070305-090545-p2");

  std::set<std::string> ids;
  for (const CallRow& row : byItem) {
    EXPECT_TRUE(ids.insert(row.id).second) << row.id;
    EXPECT_EQ(row.id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789._-"),
              std::string::npos);
    const auto found = calls.find(row.id);
    ASSERT_TRUE(found) << row.id;
    EXPECT_EQ(*found, row);
  }
  EXPECT_FALSE(calls.find("w00000000p0.LV3"));
  EXPECT_FALSE(calls.find(""));
}

TEST_F(CallListTest, SameIdsMadeTwiceAreNumberedFromTheOldest) {
  // Items 3, 2, 1 all un-answered on port 1 at the same second: the oldest keeps the plain id.
  std::string list(engine::kHtmlHeader);
  for (int item = 3; item >= 1; --item) {
    engine::CallRecord r;
    r.portIndex = 0;
    r.callType = engine::kCallRinging;
    r.startTime = kMarch5;
    list += engine::htmlRow(r, 3, false, item);
  }
  writeFile(folder.path() / "list.htm", list);
  CallList calls(folder.path() / "list.htm");
  const CallPage page = calls.query({});
  ASSERT_EQ(page.calls.size(), 3u);
  EXPECT_EQ(page.calls[2].id, "c20070305-090402-p1");
  EXPECT_EQ(page.calls[1].id, "c20070305-090402-p1-2");
  EXPECT_EQ(page.calls[0].id, "c20070305-090402-p1-3");
}

TEST_F(CallListTest, AChangedListIsReadAgainAndAMissingOneIsEmpty) {
  const auto path = folder.path() / "list.htm";
  CallList calls(path);
  EXPECT_EQ(calls.query({}).total, 0);
  writeFile(path, listOf(logview::test::numbered(3)));
  EXPECT_EQ(calls.query({}).total, 3);
  writeFile(path, listOf(logview::test::numbered(5)));
  EXPECT_EQ(calls.query({}).total, 5);
  EXPECT_EQ(calls.size(), 5u);
  std::filesystem::remove(path);
  EXPECT_EQ(calls.query({}).total, 0);
}

TEST(RecordingNames, OnlyTheRecordersOwnNames) {
  for (const std::string good :
       {"w6B49D200p3.LV2", "w00000000p0.LV0", "wFFFFFFFFpF.LV3", "w6B49D200pA.WAV"}) {
    EXPECT_TRUE(isRecordingName(good)) << good;
  }
  for (const std::string& bad : std::vector<std::string>{
           "", "w6b49d200p3.LV2", "W6B49D200p3.LV2", "w6B49D200P3.LV2", "w6B49D200p3.lv2",
           "w6B49D200p3.LV4", "w6B49D200p3.wav", "w6B49D200p3.LV", "w6B49D200p3.LV22",
           "../6B49D200p3.LV2", "/w6B49D200p3.LV", "w6B49D20Gp3.LV2", "list.htm",
           std::string("w6B49D200p3.LV2\0", 16),
           std::string("w6B49\0"
                       "200p3.LV2",
                       15)}) {
    EXPECT_FALSE(isRecordingName(bad)) << bad;
  }
}

TEST(RowFingerprint, NamesTheRowsBytesAsTheListWritesThem) {
  const std::string crlf = logview::test::rowOf({7, 2, 30, "boss"});
  std::string lf = crlf;
  lf.replace(lf.size() - 2, 2, "\n");
  std::string other = logview::test::rowOf({7, 2, 30, "bosS"});
  const auto one = [](const std::string& body) {
    return logview::rowFingerprint(logview::parseRows(body).at(0));
  };
  EXPECT_EQ(one(crlf).size(), 16u);
  EXPECT_EQ(one(crlf).find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(one(crlf), one(lf));
  EXPECT_NE(one(crlf), one(other));
  EXPECT_NE(one(crlf), one(logview::test::rowOf({8, 2, 30, "boss"})));
}

}  // namespace
}  // namespace parvolin::web
