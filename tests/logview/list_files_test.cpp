// The working-file protocol of the log viewer and the file manager: which of the list, the
// find file, its backup and the edit copy exist after each step, and what they hold.

#include <gtest/gtest.h>

#include "list_builder.h"
#include "logview/file_manager_session.h"
#include "logview/log_viewer_logic.h"
#include "support/scripted_prompt.h"

namespace parvolin::logview::test {
namespace {

using namespace std::chrono_literals;

class WorkingFiles : public ListTest {
 protected:
  WorkingFiles() : files(ListFiles::forList(folder / "ZEruTestNew.htm")) {}

  // "L F B E": which of list, find, backup and edit copy exist.
  std::string present() const {
    std::string s;
    s += fileExists(files.list) ? 'L' : '-';
    s += fileExists(files.find) ? 'F' : '-';
    s += fileExists(files.findBackup) ? 'B' : '-';
    s += fileExists(files.editCopy) ? 'E' : '-';
    return s;
  }
  std::vector<int> findItems() const {
    std::vector<int> items;
    for (const ListRow& row : parseRows(listBody(readFile(files.find)))) items.push_back(row.item);
    return items;
  }

  ListFiles files;
  parvolin::test::ScriptedPrompt prompt;
};

TEST_F(WorkingFiles, NamesComeFromTheListsName) {
  EXPECT_EQ(files.find.filename(), "ZEruTestNewFind.htm");
  EXPECT_EQ(files.findBackup.filename(), "ZEruTestNewFind.htmbak");
  EXPECT_EQ(files.editCopy.filename(), "ZEruTestNewEdit.htm");
  EXPECT_EQ(workingFileName("a.htm.htm", "Find.htm"), "aFind.htmFind.htm");
  // A name without ".htm" must never give the list's own name to a working file.
  EXPECT_EQ(workingFileName("CALLS.HTM", "Find.htm"), "CALLS.HTMFind.htm");
  const ListFiles inDottedFolder = ListFiles::forList("/data/x.htm/calls.htm");
  EXPECT_EQ(inDottedFolder.find, "/data/x.htm/callsFind.htm");
}

TEST_F(WorkingFiles, RefreshShowsTheListAndSetsTheTimer) {
  writeFile(files.list, listOf(numbered(3)));
  writeFile(files.find, "an old result");
  ViewerStep step = refreshList(files, true);
  EXPECT_EQ(present(), "L---");
  EXPECT_EQ(step.show, files.list);
  EXPECT_EQ(step.timer, kAutoRefreshPeriod);
  EXPECT_FALSE(step.closeViewer);

  step = refreshList(files, false);
  EXPECT_FALSE(step.timer) << "without automatic refresh the timer stops";

  std::filesystem::remove(files.list);
  EXPECT_TRUE(refreshList(files, true).closeViewer);
}

TEST_F(WorkingFiles, SortsWriteTheFindFileAndStopTheTimer) {
  writeFile(files.list, listOf({{4, 3}, {3, 1}, {2, 3}, {1, 2}}) + "<tr><td>tail");
  writeFile(files.find, "an earlier search");
  const ViewerStep step = sortList(files, ListOrder::kByPort);
  EXPECT_EQ(present(), "LF--");
  EXPECT_EQ(step.show, files.find);
  EXPECT_FALSE(step.timer);
  EXPECT_EQ(findItems(), (std::vector<int>{3, 1, 4, 2}));
  const std::string find = readFile(files.find);
  EXPECT_TRUE(find.starts_with(engine::kHtmlHeader));
  EXPECT_TRUE(find.ends_with("</td></tr>\r\n")) << "the tail is not carried over";

  sortList(files, ListOrder::kByDuration);
  EXPECT_EQ(present(), "LF--");
}

// A sort while the list is missing shows no stale result and refreshes (which closes).
TEST_F(WorkingFiles, SortWithoutAListLeavesNoResult) {
  writeFile(files.find, "an earlier search");
  writeFile(files.editCopy, "a stale copy");
  const ViewerStep step = sortList(files, ListOrder::kByDuration);
  EXPECT_EQ(present(), "----");
  EXPECT_FALSE(step.show);
  EXPECT_EQ(step.timer, kAfterEmptySortPeriod);
  EXPECT_TRUE(refreshList(files, true).closeViewer);
}

TEST_F(WorkingFiles, AfterTheFileManagerItsResultStaysOrTheListComesBack) {
  writeFile(files.list, listOf(numbered(3)));
  ViewerStep step = afterFileManager(files, true);
  EXPECT_EQ(step.show, files.list);
  EXPECT_EQ(step.timer, kAfterFileManagerPeriod);

  writeFile(files.find, listOf(numbered(1)));
  step = afterFileManager(files, true);
  EXPECT_EQ(step.show, files.find);
  EXPECT_FALSE(step.timer);
  closeViewer(files);
  EXPECT_EQ(present(), "L---");
}

TEST_F(WorkingFiles, ExitAfterAnEarlierSearchBringsItBack) {
  writeFile(files.list, listOf(numbered(5)));
  writeFile(files.find, "the earlier result");
  ImmediateListEditor editor(folder.path(), files.list);
  {
    FileManagerSession session(files, editor, prompt);
    EXPECT_EQ(present(), "LFBE");
    EXPECT_EQ(readFile(files.find), readFile(files.list));
    EXPECT_EQ(session.latestItem(), 5);
    session.exit();
  }
  EXPECT_EQ(present(), "LF--");
  EXPECT_EQ(readFile(files.find), "the earlier result");
}

TEST_F(WorkingFiles, SearchLeavesOnlyItsResult) {
  writeFile(files.list, listOf({{3, 1, 30, "Smith"}, {2, 1, 30, "Jones"}, {1, 1, -1, "smith"}}));
  writeFile(files.find, "the earlier result");
  ImmediateListEditor editor(folder.path(), files.list);
  FileManagerSession session(files, editor, prompt);
  SearchFields fields;
  fields.text = "smith";
  fields.toYear = 99;
  EXPECT_EQ(session.search(fields), Outcome::kClosed);
  EXPECT_EQ(present(), "LF--");
  EXPECT_EQ(findItems(), (std::vector<int>{3, 1}));
}

// Opened without a list: no item, item operations say so and stay open, a search gives the
// header alone.
TEST_F(WorkingFiles, WithoutAListTheItemOperationsDoNothing) {
  ImmediateListEditor editor(folder.path(), files.list);
  FileManagerSession session(files, editor, prompt);
  EXPECT_EQ(session.latestItem(), 0);
  EXPECT_EQ(session.deleteItem(1), Outcome::kStaysOpen);
  EXPECT_EQ(session.deleteAll(), Outcome::kStaysOpen);
  EXPECT_EQ(session.editItem(1, [](const auto&) { return std::optional<std::string>("x"); }),
            Outcome::kStaysOpen);
  ASSERT_EQ(prompt.shown.size(), 3u);
  EXPECT_EQ(prompt.shown[0].text, kNoItemsMessage);
  EXPECT_FALSE(editor.lastListEditResult());

  session.search(SearchFields::today(std::time(nullptr)));
  EXPECT_EQ(readFile(files.find), engine::kHtmlHeader);
}

TEST_F(WorkingFiles, EditShowsTheCallAndCancelChangesNothing) {
  writeFile(files.list, listOf({{2, 7, 125, "5551234"}, {1, 1, -1}}));
  const std::string before = readFile(files.list);
  ImmediateListEditor editor(folder.path(), files.list);
  EditItemFields shown;
  FileManagerSession(files, editor, prompt).editItem(2, [&](const EditItemFields& f) {
    shown = f;
    return std::nullopt;
  });
  EXPECT_EQ(shown.item, 2);
  EXPECT_EQ(shown.port, "7");
  EXPECT_EQ(shown.type, "In");
  EXPECT_EQ(shown.text, "5551234");
  EXPECT_EQ(shown.dateTime, "03-05-07 09:04:04");
  EXPECT_EQ(shown.duration, "2'05\"");
  EXPECT_FALSE(editor.lastListEditResult());
  EXPECT_EQ(readFile(files.list), before);
  EXPECT_EQ(present(), "L---");

  // A refused text (the dialog keeps it from coming here) is not handed over either.
  FileManagerSession(files, editor, prompt).editItem(2, [](const auto&) {
    return std::optional<std::string>("</td>");
  });
  EXPECT_FALSE(editor.lastListEditResult());
  FileManagerSession(files, editor, prompt).editItem(2, [](const auto&) {
    return std::optional<std::string>("Mr. Smith");
  });
  EXPECT_EQ(parseRows(listBody(readFile(files.list)))[0].trimmedText(), "Mr. Smith");
}

TEST_F(WorkingFiles, DeletesAskFirstAndANoChangesNothing) {
  writeFile(files.list, listOf(numbered(10)));
  ImmediateListEditor editor(folder.path(), files.list);
  {
    prompt.answers = {false};
    FileManagerSession session(files, editor, prompt);
    EXPECT_EQ(session.deleteRange(7, 5), Outcome::kStaysOpen);
    EXPECT_EQ(prompt.shown.back().text,
              "Confirm: Do you really want to delete Items in the range of (#7-#5) from the list "
              "permanently?");
    prompt.answers = {true};
    EXPECT_EQ(session.deleteRange(7, 5), Outcome::kClosed);
  }
  EXPECT_EQ(present(), "L---");
  std::vector<int> left;
  for (const ListRow& row : parseRows(listBody(readFile(files.list)))) left.push_back(row.item);
  EXPECT_EQ(left, (std::vector<int>{10, 9, 8, 4, 3, 2, 1}));

  prompt.shown.clear();
  prompt.answers = {true};
  FileManagerSession(files, editor, prompt).deleteRange(3, 3);
  EXPECT_EQ(prompt.shown.back().text, deleteItemQuestion(3));
  EXPECT_EQ(prompt.shown.back().text,
            "Confirm: Do you really want to delete Item #3 from the list permanently?");

  // A range from the newest item down to 1 asks Delete All's two questions; a No to the
  // second stops it.
  prompt.shown.clear();
  prompt.answers = {true, false};
  FileManagerSession session(files, editor, prompt);
  EXPECT_EQ(session.deleteRange(10, 1), Outcome::kStaysOpen);
  ASSERT_EQ(prompt.shown.size(), 2u);
  EXPECT_EQ(prompt.shown[0].text, kDeleteAllQuestion);
  EXPECT_EQ(prompt.shown[1].text, kDeleteAllLastQuestion);
  prompt.answers = {true, true};
  writeFile(folder / "w45EBDD03p0.LV3", "audio");
  EXPECT_EQ(session.deleteRange(10, 1), Outcome::kClosed);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(WorkingFiles, SpinnersKeepTheirLimits) {
  struct Case {
    ItemFields before;
    int steps;
    ItemFields after;
  };
  const int latest = 20;
  const std::vector<Case> itemCases = {
      {{1, 1}, -1, {1, 1}},     // 0 becomes 1
      {{20, 20}, 1, {20, 20}},  // never above the latest
      {{-3, 1}, 1, {20, 1}},    // a typed negative number counts as above the latest
      {{-3, 1}, -1, {1, 1}},    // but never on the way down
      {{10, 10}, -1, {9, 9}},   // the range end follows the item down
      {{10, 4}, 1, {11, 4}},    // the range end stays
      {{5, 5}, -10, {1, 1}},    // a page step down stops at 1
  };
  for (const Case& c : itemCases) {
    const ItemFields f = stepItem(c.before, c.steps, latest);
    EXPECT_EQ(f.item, c.after.item);
    EXPECT_EQ(f.rangeEnd, c.after.rangeEnd);
  }
  const std::vector<Case> rangeCases = {
      {{10, 1}, -1, {10, 1}},   // 0 becomes 1
      {{10, 10}, 1, {10, 10}},  // never above the item
      {{10, 5}, 1, {10, 6}},    // up raises the number
      {{10, 5}, -10, {10, 1}},
  };
  for (const Case& c : rangeCases) {
    EXPECT_EQ(stepRangeEnd(c.before, c.steps).rangeEnd, c.after.rangeEnd);
  }
  EXPECT_EQ(stepItem({0, 0}, 1, 0).item, 0) << "no rows: the item stays 0";
}

}  // namespace
}  // namespace parvolin::logview::test
