// The recordings on a disk that is slow to take them or full: audio reaches its file within a
// second, a full disk keeps what fits in whole blocks, and what it does not take waits in memory
// and is written once there is room; what is still unwritten at the end is summed up.

#include <gtest/gtest.h>

#include "engine_harness.h"
#include "support/full_disk.h"

namespace parvolin::engine::test {
namespace {

using parvolin::test::FullDisk;

const std::string kFirstFile = "w499602D2p0.LV3";

// `count` audio blocks for port 0, each filled with its number, from `first` on.
Bytes numberedBlocks(int first, int count, int port = 0) {
  Bytes blocks;
  for (int i = first; i < first + count; ++i) blocks = blocks + audio(port, std::uint8_t(i % 251));
  return blocks;
}

// What a recording of the numbered blocks holds.
std::string numberedAudio(int first, int count) {
  std::string audio;
  for (int i = first; i < first + count; ++i) audio += std::string(512, char(i % 251));
  return audio;
}

TEST(EngineDisk, BufferedAudioReachesItsFileWithinASecondInWholeBlocks) {
  EngineHarness h;
  h.feed(answering(0) + numberedBlocks(0, 10), kT1);
  EXPECT_EQ(h.file(kFirstFile).size(), 0u);
  h.clock.advanceMs(kAudioWritePeriodMs - 1);
  h.engine->onPollTick();
  EXPECT_EQ(h.file(kFirstFile).size(), 0u);
  h.clock.advanceMs(1);
  h.engine->onPollTick();
  EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 10));
  // The end of the call adds the rest; the file is what one write at the end would have made.
  h.feed(numberedBlocks(10, 3) + callEnd(0), kT1 + 2);
  EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 13));
  EXPECT_TRUE(h.engine->unwritten().empty());
}

TEST(EngineDisk, FullDiskKeepsWhatFitsAndLosesOnlyWhatComesWhileTheBufferIsFull) {
  EngineHarness h;
  {
    // Room for 100 blocks and part of one more above the reserve.
    FullDisk disk(kDiskReserveBytes + 100 * 512 + 300);
    h.feed(answering(0) + numberedBlocks(0, 2048), kT1);
    EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 100)) << "whole blocks only";
    // 100 blocks find room in the buffer; the 50 after them find it full.
    h.feed(numberedBlocks(2048, 150), kT1 + 131);
    const UnwrittenSummary meanwhile = h.engine->unwritten();
    ASSERT_EQ(meanwhile.lost.size(), 1u);
    EXPECT_EQ(meanwhile.lost[0].file, kFirstFile);
    EXPECT_EQ(meanwhile.lost[0].blocks, 50u);
    ASSERT_EQ(meanwhile.held.size(), 1u);
    EXPECT_EQ(meanwhile.held[0].blocks, 2048u);

    disk.makeRoom(4 << 20);
    h.clock.advanceMs(kAudioWritePeriodMs);
    h.engine->onPollTick();
    EXPECT_EQ(h.file(kFirstFile).size(), 2148u * 512);
    h.feed(callEnd(0), kT1 + 140);
  }
  EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 2148));
  ASSERT_EQ(h.log().size(), 1u);
  const UnwrittenSummary summary = h.engine->unwritten();
  EXPECT_TRUE(summary.held.empty());
  ASSERT_EQ(summary.lost.size(), 1u);
  EXPECT_EQ(summary.lost[0].blocks, 50u);
  EXPECT_NEAR(summary.lost[0].seconds, 3.2, 0.01);  // 50 blocks of 512 samples at 8000 a second
  bool lossReported = false;
  for (const std::string& line : h.diagnostics.lines) {
    lossReported = lossReported || (line.find(kFirstFile) != std::string::npos &&
                                    line.find("50 audio blocks") != std::string::npos);
  }
  EXPECT_TRUE(lossReported);
}

TEST(EngineDisk, EndedCallsWaitForTheDiskWithTheirRowsAndAreWrittenOnceThereIsRoom) {
  EngineHarness h;
  {
    FullDisk disk(0);
    h.feed(ring(0) + answering(0) + numberedBlocks(0, 20) + callEnd(0, {0x55, 0x51}), kT1);
    EXPECT_EQ(h.engine->heldRecordings(), 1u);
    EXPECT_EQ(h.engine->deferredLogRecords(), 1u);
    EXPECT_EQ(h.engine->deferredRows(), 1u);
    // The figures count what is on disk: no row, no block yet.
    EXPECT_EQ(h.engine->capacityShown().itemsText, "Logged Items: 0 / 2000 ");
    EXPECT_EQ(h.engine->capacityShown().itemsPosition, 0);
    // The port is free for the next call, which waits as well.
    h.feed(answering(0) + numberedBlocks(20, 30) + callEnd(0), kT1 + 30);
    EXPECT_EQ(h.engine->heldRecordings(), 2u);

    const UnwrittenSummary waiting = h.engine->unwritten();
    ASSERT_EQ(waiting.held.size(), 2u);
    EXPECT_EQ(waiting.held[0].blocks, 20u);
    EXPECT_EQ(waiting.held[1].blocks, 30u);
    EXPECT_EQ(waiting.logRecords, 2u);
    EXPECT_EQ(waiting.rows, 2u);

    disk.makeRoom(kDiskReserveBytes + (1 << 20));
    h.clock.advanceMs(kAudioWritePeriodMs);
    h.engine->onPollTick();
  }
  EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 20));
  EXPECT_EQ(h.file("w499602F0p0.LV3"), numberedAudio(20, 30));
  EXPECT_EQ(h.log().size(), 2u);
  EXPECT_NE(h.list().find("<p align=center>    2</td>"), std::string::npos);
  EXPECT_EQ(h.engine->capacityShown().itemsText, "Logged Items: 2 / 2000 ");
  EXPECT_EQ(h.engine->capacity().loggedBlocks, 50);
  EXPECT_TRUE(h.engine->unwritten().empty());
}

// Audio never takes the last of the disk: below the reserve it stops, and every kept call still
// gets its record and its row, also one whose audio never reached the disk (which then leaves no
// empty file to pass for its recording). The user hears of it before and when it happens.
TEST(EngineDisk, AudioStopsAtTheReserveSoEveryCallKeepsItsRecordAndRow) {
  EngineHarness h;
  {
    FullDisk disk(kDiskReserveBytes + 20 * 512);
    h.clock.advanceMs(kAudioWritePeriodMs);
    h.engine->onPollTick();
    EXPECT_EQ(h.engine->diskSpace(), DiskSpace::kLow);
    h.feed(ring(0) + answering(0) + numberedBlocks(0, 60) + callEnd(0, {0x55, 0x51}), kT1);
    EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 20)) << "up to the reserve, whole blocks";
    EXPECT_EQ(h.engine->diskSpace(), DiskSpace::kReserve);
    // The next call finds the disk at its reserve: no audio of it is written.
    h.feed(ring(1) + answering(1) + numberedBlocks(0, 30, 1) + callEnd(1, {0x52}), kT1 + 70);
    h.clock.advanceMs(kAudioWritePeriodMs);
    h.engine->onPollTick();
    EXPECT_EQ(h.log().size(), 2u) << "both calls logged";
    EXPECT_EQ(h.engine->deferredRows(), 0u);
    EXPECT_NE(h.list().find("<p align=center>    2</td>"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(h.folder / "w49960318p1.LV3"))
        << "no empty file for audio that never reached the disk";
    EXPECT_LT(disk.room(), kDiskReserveBytes);
    EXPECT_GT(disk.room(), kDiskReserveBytes - 4096) << "records and rows took little";

    const UnwrittenSummary waiting = h.engine->unwritten();
    ASSERT_EQ(waiting.held.size(), 2u);
    EXPECT_EQ(waiting.held[0].blocks, 40u);
    EXPECT_EQ(waiting.held[1].blocks, 30u);
    EXPECT_EQ(waiting.logRecords + waiting.rows, 0u);
  }
  std::vector<std::string> disk;
  for (const std::string& line : h.diagnostics.lines) {
    if (line.starts_with("Disk")) disk.push_back(line.substr(0, line.find(':')));
  }
  EXPECT_EQ(disk, (std::vector<std::string>{"Disk nearly full", "Disk full"}));

  // Once there is room again the held audio is written and the second file made.
  FullDisk roomy(kDiskWarningBytes + (1 << 20));
  h.clock.advanceMs(kAudioWritePeriodMs);
  h.engine->onPollTick();
  EXPECT_EQ(h.file(kFirstFile), numberedAudio(0, 60));
  EXPECT_EQ(h.file("w49960318p1.LV3"), numberedAudio(0, 30));
  EXPECT_EQ(h.engine->diskSpace(), DiskSpace::kEnough);
  EXPECT_TRUE(h.engine->unwritten().empty());
}

TEST(EngineDisk, RecordingThatCannotBeCreatedIsTriedAgainAndItsCallKept) {
  EngineHarness h;
  // The folder is gone: no recording can be made, and neither can the log.
  std::filesystem::remove_all(h.folder.path());
  h.feed(ring(0) + audio(0, 1) + audio(0, 2) + callEnd(0), kT1);
  h.feed(dialOut(1) + audio(1, 3), kT1);
  h.feed(calloutEnd(1, {0x12, 0x34}), kT1 + 60);
  EXPECT_EQ(h.engine->heldRecordings(), 2u);
  EXPECT_EQ(h.engine->deferredLogRecords(), 2u);

  std::filesystem::create_directories(h.folder.path());
  h.clock.advanceMs(kAudioWritePeriodMs);
  h.engine->onPollTick();
  EXPECT_EQ(h.file(kFirstFile), std::string(512, '\x01') + std::string(512, '\x02'));
  EXPECT_EQ(h.file("w499602D2p1.LV3"), std::string(512, '\x03'));
  ASSERT_EQ(h.log().size(), 2u);
  EXPECT_EQ(h.log()[0].callType, 7);
  EXPECT_EQ(h.log()[0].firstAudioSec, 1);
  EXPECT_EQ(h.log()[1].callType, 9);
  EXPECT_TRUE(h.engine->unwritten().empty());
}

TEST(EngineDisk, SummaryNamesWhatTheEndOfTheRunCouldNotWrite) {
  EngineHarness h;
  FullDisk disk(0);
  h.feed(answering(0) + numberedBlocks(0, 20) + callEnd(0), kT1);
  h.feed(answering(1) + numberedBlocks(0, 5, 1), kT1 + 1);
  h.engine->finishRun();
  const UnwrittenSummary summary = h.engine->unwritten();
  EXPECT_EQ(summary.held.size(), 2u) << "the ended call and the call in progress";
  EXPECT_EQ(summary.describe(kCallLogName, "ZEruTestNew.htm"),
            (std::vector<std::string>{
                "Not everything recorded reached the disk:",
                "w499602D2p0.LV3: 20 audio blocks (1.3 s) not written",
                "w499602D3p1.LV3: 5 audio blocks (0.3 s) not written",
                "ParvolinLog.ZERU: 1 call record not written",
                "ZEruTestNew.htm: 1 row not written",
            }));
  EXPECT_TRUE(UnwrittenSummary{}.describe(kCallLogName, "x.htm").empty());
}

}  // namespace
}  // namespace parvolin::engine::test
