#include <gtest/gtest.h>

#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"
#include "engine_harness.h"
#include "support/expect_ok.h"

namespace parvolin::engine::test {
namespace {

TEST(RecordingFiles, NamesCarryStartPortDigitAndMode) {
  EXPECT_EQ(recordingFileName(1234567890, 11, 3, false), "w499602D2pB.LV3");
  EXPECT_EQ(recordingFileName(1234567890, 11, 3, true), "w499602D2pB.WAV");
  EXPECT_EQ(recordingFileName(0x10, 0, 0, false), "w00000010p0.LV0");
  EXPECT_EQ(recordingFileName(0xFFFFFFFF, 15, 2, false), "wFFFFFFFFpF.LV2");
}

TEST(RecordingFiles, ItemNumberNeedsAllFiveCharacters) {
  EXPECT_EQ(readItemNumber("   17", 0), 17);
  EXPECT_EQ(readItemNumber("xx   17<", 2), 17);
  EXPECT_EQ(readItemNumber("   1", 0), 0);  // cut short by the end of the file
  EXPECT_EQ(readItemNumber("", 0), 0);
  EXPECT_EQ(readItemNumber("  abc", 0), 0);
}

TEST(RecordingFiles, RecountCountsEveryMatchingFileInWholeBlocks) {
  TempFolder folder;
  writeFile(folder / "a.WAV", std::string(1000, 'x'));             // 1 block
  writeFile(folder / "other.LV0", std::string(2048, 'x'));         // 4, not made by the recorder
  writeFile(folder / "b.LV3", std::string(511, 'x'));              // 0
  writeFile(folder / "c.LV4", std::string(4096, 'x'));             // not a recording
  writeFile(folder / "d.htm", std::string(4096, 'x'));             // not a recording
  std::filesystem::create_directory(folder / "WaveFolder00.WAV");  // a folder is not counted
  EXPECT_EQ(countRecordedBlocks(folder.path()), 5);
}

TEST(RecordingFiles, CapacityTextsAndSixteenBitBarRange) {
  CapacityCounters c;
  c.loggedItems = 51;
  c.loggedBlocks = 4096 * 2 + 100;
  const CapacityDisplay d = capacityDisplay(c, {70000, 500});
  EXPECT_EQ(d.itemsText, "Logged Items: 51 / 70000 ");
  EXPECT_EQ(d.itemsRangeEnd, 70000 - 65536);
  EXPECT_EQ(d.itemsPosition, 51);
  EXPECT_EQ(d.spaceText, "Logged Space: 4 / 500 (MB)");
  EXPECT_EQ(d.spaceRangeEnd, 500);
  EXPECT_EQ(d.spacePosition, 4);
}

TEST(RecordingFiles, RecountReadsTheNewestItemNumberOrZero) {
  TempFolder folder;
  const auto list = folder / "ZEruTestNew.htm";
  CapacityCounters c;
  updateCapacity(c, folder.path(), list, {}, std::nullopt);
  EXPECT_EQ(c.loggedItems, 0) << "no list";
  writeFile(list, std::string(kHtmlHeader) + "<tr><td><p align=center>   17</td>");
  c.forget();
  updateCapacity(c, folder.path(), list, {}, std::nullopt);
  EXPECT_EQ(c.loggedItems, 17);
  EXPECT_EQ(c.rowCountCache, 17);
  writeFile(list, std::string(kHtmlHeader) + "<tr><td><p align=center>  ");
  c.forget();
  updateCapacity(c, folder.path(), list, {}, std::nullopt);
  EXPECT_EQ(c.loggedItems, 0) << "a list too short for the number";
}

TEST(RecordingFiles, KeptCallAddsItsBlocksUpToTheLargestCount) {
  TempFolder folder;
  CallRecord r;
  r.callType = kCallAnswered;
  r.startTime = kT1;
  writeFile(folder / recordingFileName(kT1, 0, 3, false), std::string(1024, 'x'));
  CapacityCounters c;
  c.loggedItems = 1;
  c.loggedBlocks = 10;
  updateCapacity(c, folder.path(), folder / "none.htm", {}, KeptCall{r, 3, false});
  EXPECT_EQ(c.loggedItems, 2);
  EXPECT_EQ(c.loggedBlocks, 12);
  // Years of recordings: the count stops at its largest value, as a recount does.
  c.loggedBlocks = INT32_MAX - 1;
  updateCapacity(c, folder.path(), folder / "none.htm", {}, KeptCall{r, 3, false});
  EXPECT_EQ(c.loggedBlocks, INT32_MAX);
}

TEST(CallLog, AppendsWholeRecordsAndCutsBackATornTail) {
  TempFolder folder;
  CallRecord a;
  a.portIndex = 3;
  a.callType = 9;
  a.startTime = 0x01020304;
  ASSERT_WORKED(appendCallLog(folder.path(), a));
  EXPECT_EQ(readFile(folder / kCallLogName).size(), 32u);
  // A crash left 13 bytes of a record behind.
  writeFile(folder / kCallLogName, readFile(folder / kCallLogName) + std::string(13, '\x7F'));
  CallRecord b = a;
  b.portIndex = 4;
  ASSERT_WORKED(appendCallLog(folder.path(), b));
  CallLogContents log;
  ASSERT_WORKED(readCallLog(folder / kCallLogName, log));
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.tornBytes, 0u);
  EXPECT_EQ(log.records[0], a);
  EXPECT_EQ(log.records[1], b);
}

TEST(CallLog, AFullDiskKeepsTheLogAlignedAndTheRecordForLater) {
  EngineHarness h;
  std::filesystem::create_symlink("/dev/full", h.folder / kCallLogName);
  h.feed(ring(0) + callEnd(0) + ring(1) + callEnd(1), kT1);
  EXPECT_EQ(h.engine->deferredLogRecords(), 2u);
  EXPECT_EQ(h.diagnostics.lines.size(), 1u) << "once for the file and kind";
  EXPECT_NE(h.diagnostics.lines[0].find(kCallLogName), std::string::npos);
  EXPECT_EQ(h.engine->deferredRows(), 0u) << "the list goes on";
  // The disk has room again: the records follow in their order on the next tick.
  std::filesystem::remove(h.folder / kCallLogName);
  h.engine->onPollTick();
  ASSERT_EQ(h.log().size(), 2u);
  EXPECT_EQ(h.log()[0].portIndex, 0);
  EXPECT_EQ(h.log()[1].portIndex, 1);
}

TEST(CallLog, AnExistingLogThatCannotBeOpenedIsNeverReplaced) {
  TempFolder folder;
  std::filesystem::create_directory(folder / kCallLogName);  // opening it fails
  EXPECT_TRUE(appendCallLog(folder.path(), CallRecord{}));
  EXPECT_TRUE(std::filesystem::is_directory(folder / kCallLogName));
}

}  // namespace
}  // namespace parvolin::engine::test
