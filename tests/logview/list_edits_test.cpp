#include "logview/list_edits.h"

#include <gtest/gtest.h>

#include "list_builder.h"
#include "logview/engine_list_edits.h"
#include "logview/file_manager_session.h"
#include "support/expect_ok.h"
#include "support/scripted_prompt.h"

namespace parvolin::logview::test {
namespace {

using ListEdits = ListTest;

TEST_F(ListEdits, TextThatWouldBreakTheRowIsRefusedUnlessUnchanged) {
  struct Case {
    std::string text;
    std::string own;
    bool refused;
  };
  auto repeated = [](std::string_view piece, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += piece;
    return text;
  };
  const std::vector<Case> cases = {
      {"Smith & Sons \"office\"", "", false},
      {"<5551234>=;?", "", false},  // the digit tables' own characters
      {"a < b, 3<4", "", false},
      {"1234567890123456789012345678901234567890", "", false},  // 40 characters
      {repeated("é", 40), "", false},                           // 40 characters, 80 bytes
      {repeated("€", 41), "", true},
      {"12345678901234567890123456789012345678901", "", true},
      {"x</td>", "", true},
      {"<b>bold", "", true},
      {"<!-- c", "", true},
      {"<?php", "", true},
      {"tab\there", "", true},
      {"line\nbreak", "", true},
      {"<b>bold", "<b>bold", false},  // the call's own text is never refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(editTextProblem(c.text, c.own).has_value(), c.refused);
  }
}

TEST_F(ListEdits, EditingItem17RewritesOnlyItsTextCell) {
  const auto path = folder / "calls.htm";
  std::vector<Call> calls = numbered(20);
  for (Call& call : calls) call.text = "1717171717";  // the same text in every row
  writeFile(path, listOf(calls));
  const std::string before = readFile(path);
  const std::vector<ListRow> rows = parseRows(listBody(before));
  const ListRow* row = findItem(rows, 17);
  ASSERT_NE(row, nullptr);

  auto edit = textEdit(*row, "Mr. Smith");
  ASSERT_TRUE(edit);
  EXPECT_TRUE(edit->oldText.starts_with("<tr><td><p align=center>   17</td>"));
  EXPECT_FALSE(edit->deleteAll);
  ASSERT_TRUE(engine::applyPendingListEdit(folder.path(), path, *edit).applied);

  calls[3].text = "Mr. Smith";  // item 17
  EXPECT_EQ(readFile(path), listOf(calls));
  // The same text, or a Cancel's unchanged one, gives nothing to hand over.
  EXPECT_FALSE(textEdit(*row, row->trimmedText()));
}

TEST_F(ListEdits, DeletesHandOverExactlyTheRowsAsked) {
  const std::string list = listOf(numbered(10));
  const std::string_view body = listBody(list);
  const std::vector<ListRow> rows = parseRows(body);
  auto bodyAfter = [&](const std::optional<engine::PendingListEdit>& edit) {
    return engine::replaceAll(body, edit->oldText, edit->newText);
  };

  EXPECT_FALSE(deleteItemEdit(rows, 11)) << "an item no row has";
  auto one = deleteItemEdit(rows, 4);
  ASSERT_TRUE(one);
  EXPECT_EQ(bodyAfter(one), listBody(listOf({{10, 3, 100},
                                             {9, 2, 90},
                                             {8, 1, 80},
                                             {7, 4, 70},
                                             {6, 3, 60},
                                             {5, 2, 50},
                                             {3, 4, 30},
                                             {2, 3, 20},
                                             {1, 2, 10}})));

  auto range = deleteRangeEdit(rows, 7, 5);
  ASSERT_TRUE(range);
  EXPECT_EQ(parseRows(range->oldText).size(), 3u);
  std::vector<int> left;
  const std::string after = bodyAfter(range);
  for (const ListRow& row : parseRows(after)) left.push_back(row.item);
  EXPECT_EQ(left, (std::vector<int>{10, 9, 8, 4, 3, 2, 1}));
  EXPECT_FALSE(range->deleteAll);

  EXPECT_FALSE(deleteRangeEdit(rows, 5, 7)) << "a range end above the item";
  EXPECT_TRUE(rangeCoversAll(10, 1, 10));
  EXPECT_FALSE(rangeCoversAll(9, 1, 10));
  EXPECT_FALSE(rangeCoversAll(10, 2, 10));

  auto all = deleteAllEdit(body);
  ASSERT_TRUE(all);
  EXPECT_TRUE(all->deleteAll);
  EXPECT_EQ(bodyAfter(all), "");
  EXPECT_FALSE(deleteAllEdit(""));
}

// Delete All is applied later by text replacement: a call that ended meanwhile keeps its row,
// the body stays, and no file of the folder is deleted. Without one, everything goes.
TEST_F(ListEdits, DeleteAllClearsTheFolderOnlyWhenNoCallEndedMeanwhile) {
  const auto path = folder / "calls.htm";
  writeFile(path, listOf(numbered(3)));
  writeFile(folder / "w45EBDD03p0.LV3", "audio");
  writeFile(folder / "ParvolinLog.ZERU", std::string(32, '\0'));
  auto edit = deleteAllEdit(listBody(readFile(path)));
  ASSERT_TRUE(edit);

  std::int32_t rowCount = -1;
  engine::CallRecord late;
  late.callType = engine::kCallAnswered;
  late.startTime = kMarch5 + kDay;
  ASSERT_WORKED(engine::appendHtmlRow(path, late, 3, false, rowCount));
  engine::PendingListEdit pending = *edit;
  ASSERT_TRUE(engine::applyPendingListEdit(folder.path(), path, pending).applied);
  const std::string list = readFile(path);
  const std::vector<ListRow> rows = parseRows(listBody(list));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].item, 4);
  EXPECT_TRUE(std::filesystem::exists(folder / "w45EBDD03p0.LV3"));

  pending = *deleteAllEdit(listBody(readFile(path)));
  ASSERT_TRUE(engine::applyPendingListEdit(folder.path(), path, pending).applied);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// With a recorder running, the file manager's edit waits for the next tick.
TEST_F(ListEdits, ARunningEngineAppliesTheEditOnItsNextTick) {
  using namespace engine::test;
  EngineHarness h;
  h.feed(ring(0) + callEnd(0), kT1);
  h.feed(ring(1) + callEnd(1), kT1 + 5);
  EngineListEdits edits(*h.engine);
  parvolin::test::ScriptedPrompt prompt;
  prompt.answers = {true};
  FileManagerSession(ListFiles::forList(h.engine->listPath()), edits, prompt).deleteItem(2);
  EXPECT_EQ(parseRows(listBody(h.list())).size(), 2u) << "not before the tick";
  EXPECT_FALSE(edits.lastListEditResult());
  h.engine->onPollTick();
  const std::string list = h.list();
  const std::vector<ListRow> rows = parseRows(listBody(list));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].item, 1);
  ASSERT_TRUE(edits.lastListEditResult());
  EXPECT_TRUE(edits.lastListEditResult()->applied);
}

// The file manager closes before the tick that applies its edit: the answer goes nowhere.
TEST_F(ListEdits, AnEditOutlivesTheSubmitterThatHandedItOver) {
  using namespace engine::test;
  EngineHarness h;
  h.feed(ring(0) + callEnd(0), kT1);
  h.feed(ring(1) + callEnd(1), kT1 + 5);
  {
    EngineListEdits edits(*h.engine);
    const std::string list = h.list();
    edits.submitListEdit(*deleteItemEdit(parseRows(listBody(list)), 2));
  }
  h.engine->onPollTick();
  EXPECT_EQ(parseRows(listBody(h.list())).size(), 1u);
}

}  // namespace
}  // namespace parvolin::logview::test
