#include "logview/list_rows.h"

#include <gtest/gtest.h>

#include "list_builder.h"

namespace parvolin::logview::test {
namespace {

using ListRows = ListTest;

TEST_F(ListRows, CellsOfTheRecordersRowsAreReadBack) {
  struct Case {
    Call call;
    std::string type, text, duration, link;
    int seconds;
  };
  const std::vector<Case> cases = {
      {{7, 5, 125, "5551234"}, "In", "5551234", "2'05\"", "w45EBDD09p4.LV3", 125},
      {{8, 16, -1, ""}, "In", "", "Un-Answered", "", 0},
      {{9, 2, 0, "<0>=;?"}, "In", "<0>=;?", "0'00\"", "w45EBDD0Bp1.LV3", 0},
      {{10, 1, 61, "", kMarch5, engine::kCallVar}, "VAR", "", "1'01\"", "w45EBDD0Cp0.LV3", 61},
      {{11, 3, 3600, "", kMarch5, engine::kCallOutgoing},
       "Out",
       "",
       "60'00\"",
       "w45EBDD0Dp2.LV3",
       3600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call.item);
    const std::string row = rowOf(c.call);
    const std::vector<ListRow> rows = parseRows(row);
    ASSERT_EQ(rows.size(), 1u);
    const ListRow& r = rows[0];
    EXPECT_EQ(r.bytes, row);
    EXPECT_EQ(r.normalized(), row);
    EXPECT_EQ(r.item, c.call.item);
    EXPECT_EQ(r.portNumber(), c.call.port);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.text.size(), 22u) << "the cell keeps its blanks";
    EXPECT_EQ(r.trimmedText(), c.text);
    EXPECT_EQ(row.substr(r.textOffset, r.text.size()), r.text);
    EXPECT_EQ(r.dateTime.substr(0, 14), "03-05-07 09:04");
    EXPECT_EQ(r.dateKey(), "07-03-05");
    EXPECT_EQ(r.duration, c.duration);
    EXPECT_EQ(r.recorded(), c.call.seconds >= 0);
    EXPECT_EQ(r.durationSeconds(), c.seconds);
    EXPECT_EQ(r.link, c.link);
  }
}

// The reader takes rows whole, however long, and never takes a tail for a row.
TEST_F(ListRows, RowsOfAnyLengthEndAfterTheirCloseAndATailIsNoRow) {
  const std::string longText(300, 'x');
  std::string row0 = rowOf({123456, 2, 30});
  std::string row1 = rowOf({5, 3, 30});
  row1.replace(row1.find("<td>      ") + 4, 22, longText);
  const std::string row2 = rowOf({4, 1, -1});
  const std::string last = rowOf({3, 4, 30});
  const std::string lastCut = last.substr(0, last.size() - 2);  // the file ends at "</tr>"

  const std::string body = row0 + row1 + row2 + lastCut;
  std::vector<ListRow> rows = parseRows(body);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].item, 123456);
  EXPECT_EQ(rows[1].bytes, row1);
  EXPECT_EQ(rows[1].trimmedText(), longText);
  EXPECT_EQ(rows[1].portNumber(), 3);
  EXPECT_EQ(rows[2].offset, row0.size() + row1.size());
  EXPECT_EQ(rows[3].bytes, lastCut);
  EXPECT_EQ(rows[3].normalized(), last) << "a row cut at its close gets its line end back";

  rows = parseRows(row2 + "<tr><td><p align=center>    9</td><td>cut short");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].item, 4);

  EXPECT_TRUE(parseRows("").empty());
  EXPECT_EQ(latestItem(parseRows(body)), 123456);
  EXPECT_EQ(latestItem({}), 0);
}

// A list an editor saved with LF line ends: the header ends earlier and every row a byte
// sooner; each row is still read whole, and written back with CR LF.
TEST_F(ListRows, ListWithLfLineEndsIsReadAsTheListWritesIt) {
  const std::string crlf = listOf({{3, 2, 30, "Smith"}, {2, 1, -1}, {1, 4, 125}});
  std::string lf;
  for (char c : crlf) {
    if (c != '\r') lf += c;
  }
  ASSERT_TRUE(isListFile(lf));
  EXPECT_EQ(headerEnd(lf), engine::kHtmlHeaderSize - 6);
  const std::vector<ListRow> fromLf = parseRows(listBody(lf));
  const std::vector<ListRow> fromCrlf = parseRows(listBody(crlf));
  ASSERT_EQ(fromLf.size(), 3u);
  for (std::size_t i = 0; i < fromLf.size(); ++i) {
    EXPECT_EQ(fromLf[i].item, fromCrlf[i].item);
    EXPECT_EQ(fromLf[i].trimmedText(), fromCrlf[i].trimmedText());
    EXPECT_EQ(fromLf[i].link, fromCrlf[i].link);
    EXPECT_EQ(fromLf[i].normalized(), fromCrlf[i].normalized());
    EXPECT_TRUE(fromLf[i].bytes.ends_with("</td></tr>\n")) << "the row's own bytes, no more";
  }
  EXPECT_EQ(fromLf[1].offset, fromLf[0].bytes.size());
}

TEST_F(ListRows, OnlyAListIsAList) {
  const std::string list = listOf({{1, 1, 30}});
  std::string log(64, '\0');
  log[0] = 3;
  const struct {
    std::string file;
    bool list;
  } cases[] = {
      {list, true},
      {std::string(engine::kHtmlHeader), true},
      {"", false},
      {log, false},
      {"<title>Some page</title>\n<table><tr><th>A</th></tr>\n", false},
      {"<html><body>LIST OF RECORDED CALLS</th></tr>\n", false},
      {list.substr(0, 100), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    EXPECT_EQ(isListFile(c.file), c.list);
  }
}

TEST_F(ListRows, HeadAndBodyOfShortAndMissingLists) {
  const std::string list = listOf({{1, 1, 30}});
  EXPECT_EQ(listHead(list), engine::kHtmlHeader);
  EXPECT_EQ(listBody(list), rowOf({1, 1, 30}));
  EXPECT_EQ(listHead("<title>"), engine::kHtmlHeader);
  EXPECT_EQ(listBody("<title>"), "");
  EXPECT_EQ(listBody(engine::kHtmlHeader), "");
}

}  // namespace
}  // namespace parvolin::logview::test
