#include <gtest/gtest.h>

#include "base/folder_lock.h"
#include "engine/html_list.h"
#include "engine_harness.h"
#include "support/expect_ok.h"

namespace parvolin::engine::test {
namespace {

CallRecord incoming(std::uint8_t callType, std::uint32_t start, std::uint16_t duration) {
  CallRecord r;
  r.portIndex = 4;
  r.callType = callType;
  r.startTime = start;
  r.durationSec = duration;
  return r;
}

std::string rowBody(const std::string& list) {
  return list.substr(kHtmlHeaderSize);
}

TEST(HtmlList, HeaderIs320BytesAndRowsCarryTypeDateDurationAndLink) {
  UtcZone utc;
  EXPECT_EQ(kHtmlHeader.size(), 320u);
  // 5 March 2007 09:04:02 UTC.
  const std::uint32_t start = 1173085442;
  CallRecord r = incoming(kCallAnswered, start, 125);
  r.callText[0] = '<';
  EXPECT_EQ(htmlRow(r, 3, false, 7),
            "<tr><td><p align=center>    7</td><td><p align=center>5</td>"
            "<td><p align=center>In</td><td><                     </td>"
            "<td><p align=center>03-05-07 09:04:02</td>"
            "<td><p align=right>2'05\"<A HREF=\"w45EBDD02p4.LV3\">Play</A></td></tr>\r\n");
  EXPECT_NE(htmlRow(r, 3, true, 7).find("HREF=\"w45EBDD02p4.WAV\""), std::string::npos);
  r.callType = kCallOutgoing;
  EXPECT_NE(htmlRow(r, 3, false, 7).find("<td><p align=center>Out</td>"), std::string::npos);
  r.callType = kCallVar;
  EXPECT_NE(htmlRow(r, 3, false, 7).find("<td><p align=center>VAR</td>"), std::string::npos);
  r.callType = kCallRinging;
  EXPECT_TRUE(htmlRow(r, 3, false, 7).ends_with("02</td><td>Un-Answered</td></tr>\r\n"));
}

TEST(HtmlList, ItemNumbersFollowTheCacheOrTheNewestRow) {
  TempFolder folder;
  const auto list = folder / "calls.htm";
  std::int32_t cache = 40;  // whatever it held: a new list starts at 1
  ASSERT_WORKED(appendHtmlRow(list, incoming(6, kT1, 0), 3, false, cache));
  EXPECT_EQ(cache, 1);
  EXPECT_EQ(readFile(list).substr(kHtmlHeaderSize + kRowItemOffset, 5), "    1");

  writeFile(list, std::string(kHtmlHeader) + htmlRow(incoming(6, kT1, 0), 3, false, 17));
  cache = -1;
  ASSERT_WORKED(appendHtmlRow(list, incoming(6, kT1, 0), 3, false, cache));
  EXPECT_EQ(cache, 18);
  const std::string body = rowBody(readFile(list));
  EXPECT_EQ(body.substr(kRowItemOffset, 5), "   18");
  EXPECT_NE(body.find("   17</td>"), std::string::npos) << "the older row moved down unchanged";

  // A body too short to hold a number counts as 0.
  writeFile(list, std::string(kHtmlHeader) + "<tr><td>");
  cache = -1;
  ASSERT_WORKED(appendHtmlRow(list, incoming(6, kT1, 0), 3, false, cache));
  EXPECT_EQ(cache, 1);
}

// Calls that end in the same tick get their rows in one rewrite of the list: numbered in the
// order they ended, the last one on top, exactly as one rewrite per call would leave them.
TEST(HtmlList, CallsEndingInOneTickAreNumberedInTheOrderTheyEnded) {
  EngineHarness h;
  h.feed(ring(0) + callEnd(0), kT1);
  h.feed(ring(3) + ring(1) + ring(2) + callEnd(3) + callEnd(1) + callEnd(2), kT1 + 5);
  const std::string body = rowBody(h.list());
  const std::size_t rowLength = body.find("\r\n") + 2;
  ASSERT_EQ(body.size() % rowLength, 0u);
  std::vector<std::string> itemAndPort;
  for (std::size_t at = 0; at < body.size(); at += rowLength) {
    itemAndPort.push_back(body.substr(at + kRowItemOffset, 5) + "/" + body.substr(at + 54, 1));
  }
  EXPECT_EQ(itemAndPort, (std::vector<std::string>{"    4/3", "    3/2", "    2/4", "    1/1"}));
  EXPECT_EQ(h.engine->capacity().rowCountCache, 4);
  EXPECT_EQ(h.engine->deferredRows(), 0u);
}

TEST(HtmlList, ListThatDisappearedIsRecreatedAndNumberingFollowsTheCount) {
  EngineHarness h;
  for (int i = 0; i < 3; ++i) h.feed(ring(0) + callEnd(0), kT1 + i);
  EXPECT_EQ(h.engine->capacity().rowCountCache, 3);
  std::filesystem::remove(h.folder / "ZEruTestNew.htm");
  h.feed(ring(0) + callEnd(0), kT1 + 10);
  EXPECT_EQ(rowBody(h.list()).substr(kRowItemOffset, 5), "    1");
  EXPECT_EQ(h.engine->capacity().loggedItems, 4);
  h.feed(ring(0) + callEnd(0), kT1 + 11);
  EXPECT_EQ(rowBody(h.list()).substr(kRowItemOffset, 5), "    5");
}

TEST(HtmlList, EditsReplaceEveryOccurrenceOrLeaveTheBodyAsItWas) {
  TempFolder folder;
  const auto list = folder / "calls.htm";
  writeFile(list, std::string(kHtmlHeader) + "row A 555\r\nrow B 555\r\n");
  PendingListEdit edit{"555", "666", false};
  EXPECT_TRUE(applyPendingListEdit(folder.path(), list, edit).applied);
  EXPECT_EQ(rowBody(readFile(list)), "row A 666\r\nrow B 666\r\n");
  EXPECT_FALSE(edit.isPending());

  edit = {"not there", "x", false};
  EXPECT_TRUE(applyPendingListEdit(folder.path(), list, edit).applied);
  EXPECT_EQ(rowBody(readFile(list)), "row A 666\r\nrow B 666\r\n");
}

// A list an editor saved with LF line ends has a shorter header: a new row goes right after
// it and an edit of the newest row finds that row whole, so no row is cut in two.
TEST(HtmlList, ListSavedWithLfLineEndsTakesRowsAndEditsAfterItsHeader) {
  TempFolder folder;
  const auto list = folder / "calls.htm";
  std::string lfHeader;
  for (char c : kHtmlHeader) {
    if (c != '\r') lfHeader += c;
  }
  std::string oldRow = htmlRow(incoming(6, kT1, 30), 3, false, 5);
  oldRow.erase(oldRow.size() - 2, 1);  // "\r\n" made "\n"
  writeFile(list, lfHeader + oldRow);
  ASSERT_EQ(htmlHeaderEnd(lfHeader + oldRow), lfHeader.size());

  std::int32_t cache = -1;
  ASSERT_WORKED(appendHtmlRow(list, incoming(6, kT1 + 60, 0), 3, false, cache));
  EXPECT_EQ(cache, 6) << "numbered after the newest row";
  EXPECT_EQ(readFile(list), lfHeader + htmlRow(incoming(6, kT1 + 60, 0), 3, false, 6) + oldRow);

  PendingListEdit edit{oldRow, "", false};
  EXPECT_TRUE(applyPendingListEdit(folder.path(), list, edit).applied);
  EXPECT_EQ(readFile(list), lfHeader + htmlRow(incoming(6, kT1 + 60, 0), 3, false, 6));
}

TEST(HtmlList, EmptiedBodyClearsTheFolderOnlyForDeleteAll) {
  for (bool deleteAll : {false, true}) {
    TempFolder folder;
    const auto list = folder / "calls.htm";
    const std::string body = "only row\r\n";
    writeFile(list, std::string(kHtmlHeader) + body);
    writeFile(folder / "w00000001p0.LV3", "audio");
    writeFile(folder / "ParvolinLog.ZERU", std::string(32, '\0'));
    std::filesystem::create_directory(folder / "WaveFolder00");
    writeFile(folder / base::kFolderLockName, "1 parvolin\n");
    PendingListEdit edit{body, "", deleteAll};
    EXPECT_TRUE(applyPendingListEdit(folder.path(), list, edit).applied);
    EXPECT_FALSE(std::filesystem::exists(list));
    EXPECT_EQ(std::filesystem::exists(folder / "w00000001p0.LV3"), !deleteAll);
    EXPECT_EQ(std::filesystem::exists(folder / "ParvolinLog.ZERU"), !deleteAll);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "WaveFolder00")) << "folders stay";
    // The lock of whoever edits the folder stays with it.
    EXPECT_TRUE(std::filesystem::exists(folder / base::kFolderLockName));
  }
}

TEST(HtmlList, EditOfAMissingListStaysPendingAndRecountsEveryTick) {
  EngineHarness h;
  std::vector<ListEditResult> answers;
  auto record = [&](const ListEditResult& r) { answers.push_back(r); };
  h.engine->requestListEdit({"x", "y", false}, record);
  const int refreshesBefore = h.view.refreshes;
  h.engine->onPollTick();
  h.engine->onPollTick();
  EXPECT_TRUE(h.engine->listEditPending());
  EXPECT_TRUE(answers.empty()) << "told only once the edit went through";
  EXPECT_EQ(h.diagnostics.lines.size(), 1u);
  EXPECT_GE(h.view.refreshes - refreshesBefore, 4);  // a tick refresh and a recount each
  writeFile(h.folder / "ZEruTestNew.htm", std::string(kHtmlHeader) + "x\r\n");
  h.engine->onPollTick();
  EXPECT_FALSE(h.engine->listEditPending());
  EXPECT_EQ(rowBody(h.list()), "y\r\n");
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_TRUE(answers[0].applied);
  h.engine->onPollTick();
  EXPECT_EQ(answers.size(), 1u);
}

TEST(HtmlList, ALaterEditReplacesOneStillWaitingAndItsRequesterIsTold) {
  EngineHarness h;
  std::vector<std::string> told;
  h.engine->requestListEdit({"x", "y", false}, [&](const ListEditResult& r) {
    told.push_back(r.error == std::errc::operation_canceled ? "first replaced" : "first?");
  });
  h.engine->onPollTick();  // no list yet: stays pending
  h.engine->requestListEdit({"x", "z", false}, [&](const ListEditResult& r) {
    told.push_back(r.applied ? "second applied" : "second?");
  });
  writeFile(h.folder / "ZEruTestNew.htm", std::string(kHtmlHeader) + "x\r\n");
  h.engine->onPollTick();
  EXPECT_EQ(told, (std::vector<std::string>{"first replaced", "second applied"}));
  EXPECT_EQ(rowBody(h.list()), "z\r\n");
}

TEST(HtmlList, RewriteThatFailsLeavesTheListAndKeepsTheRowForLater) {
  EngineHarness h;
  h.feed(ring(0) + callEnd(0), kT1);
  const std::string before = h.list();
  // The hidden temporary file cannot be made while a folder stands in its place.
  const auto temp = h.folder / ".ZEruTestNew.htm.tmp";
  std::filesystem::create_directory(temp);
  h.feed(ring(1) + callEnd(1) + ring(2) + callEnd(2), kT1 + 5);
  EXPECT_EQ(h.list(), before);
  EXPECT_EQ(h.engine->deferredRows(), 2u);
  EXPECT_EQ(h.diagnostics.lines.size(), 1u);
  // The rows were numbered when their calls were kept; they wait with their numbers.
  EXPECT_EQ(h.engine->capacity().rowCountCache, 3);
  EXPECT_EQ(h.engine->rowsNotInList()[0].substr(kRowItemOffset, 5), "    3");
  std::filesystem::remove(temp);
  h.engine->onPollTick();
  EXPECT_EQ(h.engine->deferredRows(), 0u);
  const std::string body = rowBody(h.list());
  // Newest first, numbered in the order the calls ended.
  EXPECT_EQ(body.substr(kRowItemOffset, 5), "    3");
  EXPECT_NE(body.find("align=center>3</td>"), std::string::npos);
  EXPECT_LT(body.find("align=center>3</td>"), body.find("align=center>2</td>"));
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST(HtmlList, AListThatCannotBeReadIsNeverReplaced) {
  TempFolder folder;
  const auto list = folder / "calls.htm";
  std::filesystem::create_directory(list);
  std::int32_t cache = 5;
  EXPECT_TRUE(appendHtmlRow(list, incoming(6, kT1, 0), 3, false, cache));
  EXPECT_EQ(cache, 5);
  EXPECT_TRUE(std::filesystem::is_directory(list));
}

}  // namespace
}  // namespace parvolin::engine::test

namespace parvolin::engine::test {
namespace {

// "Batch Delete All" while a call is being recorded: the finished calls go, the call going on
// keeps its recording and ends with all of its audio in it.
TEST(HtmlList, DeleteAllKeepsTheRecordingOfACallInProgress) {
  EngineHarness h;
  h.feed(audio(0, 0x11) + callEnd(0), kT1);
  h.feed(answering(1) + audio(1, 0x22), kT1 + 10);
  ASSERT_TRUE(h.exists("w499602D2p0.LV3"));
  ASSERT_TRUE(h.exists("w499602DCp1.LV3"));
  h.engine->requestListEdit({rowBody(h.list()), "", true});
  h.engine->onPollTick();
  EXPECT_FALSE(h.engine->listEditPending());
  EXPECT_FALSE(h.exists("ZEruTestNew.htm"));
  EXPECT_FALSE(h.exists(kCallLogName));
  EXPECT_FALSE(h.exists("w499602D2p0.LV3"));
  EXPECT_TRUE(h.exists("w499602DCp1.LV3"));
  h.feed(audio(1, 0x33) + callEnd(1), kT1 + 20);
  EXPECT_EQ(h.file("w499602DCp1.LV3"), std::string(512, '\x22') + std::string(512, '\x33'));
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.engine->capacity().loggedBlocks, 2);
}

}  // namespace
}  // namespace parvolin::engine::test
