#include "logview/list_table.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "logview/list_builder.h"

namespace parvolin::logview {
namespace {

using test::Call;
using test::listOf;
using test::rowOf;
using test::writeFile;

class ListTableTest : public test::ListTest {};

TEST_F(ListTableTest, CellsShowWhatEachColumnOfThePageHolds) {
  const std::string list = listOf({{17, 12, 125, "<5551234>"},
                                   {16, 1, -1},
                                   {15, 3, 0, "Smith", test::kMarch5, engine::kCallOutgoing},
                                   {14, 4, 61, "", test::kMarch5, engine::kCallVar}});
  const auto table = ListTable::fromBytes("calls.htm", list);
  ASSERT_EQ(table->size(), 4u);
  struct Expected {
    const char* item;
    const char* port;
    const char* type;
    const char* text;
    const char* duration;
    bool link;
  };
  const Expected expected[] = {{"17", "12", "In", "<5551234>", "2'05\"", true},
                               {"16", "1", "In", "", "Un-Answered", false},
                               {"15", "3", "Out", "Smith", "0'00\"", true},
                               {"14", "4", "VAR", "", "1'01\"", true}};
  for (std::size_t i = 0; i < table->size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(table->cell(i, ListColumn::kItem), expected[i].item);
    EXPECT_EQ(table->cell(i, ListColumn::kPort), expected[i].port);
    EXPECT_EQ(table->cell(i, ListColumn::kType), expected[i].type);
    EXPECT_EQ(table->cell(i, ListColumn::kText), expected[i].text);
    EXPECT_EQ(table->cell(i, ListColumn::kDuration), expected[i].duration);
    EXPECT_EQ(table->row(i).link.empty(), !expected[i].link);
  }
  EXPECT_EQ(table->cell(0, ListColumn::kDateTime), "03-05-07 09:04:19");
  EXPECT_EQ(table->row(0).link, "w45EBDD13pB.LV3");
  EXPECT_EQ(table->pendingCount(), 0u);
}

TEST_F(ListTableTest, PendingRowsComeFirstAndKeepTheirOwnBoundaries) {
  std::string withoutLineEnd = rowOf({21, 2, 30, "newest"});
  withoutLineEnd.resize(withoutLineEnd.size() - 2);
  const auto table =
      ListTable::fromBytes("calls.htm", listOf({{19, 1, 30, "in file"}, {18, 1, 30}}),
                           {withoutLineEnd, rowOf({20, 3, 45, "next"})});
  ASSERT_EQ(table->size(), 4u);
  EXPECT_EQ(table->pendingCount(), 2u);
  const char* items[] = {"21", "20", "19", "18"};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(table->cell(i, ListColumn::kItem), items[i]);
  EXPECT_EQ(table->cell(1, ListColumn::kText), "next") << "a row without CR LF took bytes";
  EXPECT_EQ(table->cell(2, ListColumn::kText), "in file");
}

TEST_F(ListTableTest, WaitingRowsThatARewriteAlreadyPutInTheFileAreShownOnce) {
  // The recorder's waiting rows are taken before the file is read; a rewrite in between wrote
  // rows 20 and 21 to the file while 22 still waits.
  const auto table = ListTable::fromBytes(
      "calls.htm", listOf({{21, 2, 30, "in file now"}, {20, 3, 45}, {19, 1, 30}}),
      {rowOf({22, 4, 10, "waiting"}), rowOf({21, 2, 30, "in file now"}), rowOf({20, 3, 45})});
  ASSERT_EQ(table->size(), 4u);
  EXPECT_EQ(table->pendingCount(), 1u);
  const char* items[] = {"22", "21", "20", "19"};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(table->cell(i, ListColumn::kItem), items[i]);
}

TEST_F(ListTableTest, PagesWithoutRowsGiveEmptyTables) {
  const struct {
    const char* name;
    std::string file;
  } cases[] = {{"empty file", ""},
               {"header only", std::string(engine::kHtmlHeader)},
               {"cut row", std::string(engine::kHtmlHeader) + "<tr><td><p align=center>    1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ListTable::fromBytes("x.htm", c.file)->size(), 0u);
  }
  const auto missing = ListTable::load(folder / "missing.htm");
  EXPECT_EQ(missing->size(), 0u);
  EXPECT_FALSE(missing->stamp().exists);
}

TEST_F(ListTableTest, LoadReadsTheFileAndItsStamp) {
  const std::filesystem::path list = folder / "calls.htm";
  writeFile(list, listOf(test::numbered(3)));
  const auto table = ListTable::load(list, {rowOf({4})});
  EXPECT_EQ(table->size(), 4u);
  EXPECT_EQ(table->page(), list);
  EXPECT_EQ(table->stamp(), stampOf(list));
  EXPECT_TRUE(table->stamp().exists);
  EXPECT_EQ(table->pending(), std::vector<std::string>{rowOf({4})});
}

TEST_F(ListTableTest, TheStampChangesWithEveryNewVersionOfTheFile) {
  const std::filesystem::path list = folder / "calls.htm";
  writeFile(list, listOf({{1, 1, 30, "Smith"}}));
  const FileStamp first = stampOf(list);
  EXPECT_EQ(stampOf(list), first) << "an untouched file keeps its stamp";

  // The same length written in place, within the clock's granularity or not.
  writeFile(list, listOf({{1, 1, 30, "Jones"}}));
  std::filesystem::last_write_time(
      list, std::filesystem::last_write_time(list) + std::chrono::seconds(1));
  const FileStamp inPlace = stampOf(list);
  EXPECT_NE(inPlace, first);

  // Replaced by another file of the same length and time, as the recorder's rewrites do.
  const std::filesystem::path other = folder / "other.htm";
  writeFile(other, listOf({{1, 1, 30, "Brown"}}));
  std::filesystem::last_write_time(other, std::filesystem::last_write_time(list));
  std::filesystem::rename(other, list);
  EXPECT_NE(stampOf(list), inPlace);

  std::filesystem::remove(list);
  EXPECT_FALSE(stampOf(list).exists);
  EXPECT_FALSE(stampOf(folder.path()).exists) << "a folder is no page";
}

}  // namespace
}  // namespace parvolin::logview
