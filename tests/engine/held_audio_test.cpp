// Audio that waits for the disk: held recordings written oldest first as far as the disk's room
// above its reserve goes, what has nowhere to go counted as lost, and the budget of held audio.

#include "engine/held_audio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "support/collecting_diagnostics.h"
#include "support/full_disk.h"
#include "support/test_files.h"

namespace parvolin::engine {
namespace {

using parvolin::test::FullDisk;
using parvolin::test::readFile;
using parvolin::test::TempFolder;
using parvolin::test::writeFile;

constexpr std::size_t kBlock = 512;

HeldRecording recording(const std::filesystem::path& folder, const std::string& name,
                        std::size_t blocks, char fill, CallKept kept = CallKept::kYes) {
  HeldRecording held;
  held.folder = folder;
  held.name = name;
  held.kept = kept;
  held.blocks.assign(blocks * kBlock, std::uint8_t(fill));
  return held;
}

struct Held {
  TempFolder folder;
  base::VirtualClock clock;
  ::parvolin::test::CollectingDiagnostics diagnostics;
  DiagnosticOnce failures{diagnostics};
  DiskRoom disk{folder.path(), clock, diagnostics};
  HeldAudio held{disk, failures};
  std::vector<std::string> completed;
  HeldAudio::Completed onCompleted = [this](const HeldRecording& r) {
    completed.push_back(r.name);
  };
  int reports(const std::string& file) const {
    int n = 0;
    for (const std::string& line : diagnostics.lines) n += line.find(file) != std::string::npos;
    return n;
  }
};

TEST(HeldAudio, RecordingsAreWrittenOldestFirstAndOnlyKeptCallsCount) {
  Held h;
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "a.LV3", 3, 'a')));
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "b.LV3", 2, 'b', CallKept::kNo)));
  EXPECT_EQ(h.held.bytes(), 5 * kBlock);
  EXPECT_EQ(h.held.retry(h.onCompleted), 3u) << "the dropped call's blocks do not count";
  EXPECT_EQ(readFile(h.folder / "a.LV3"), std::string(3 * kBlock, 'a'));
  EXPECT_EQ(readFile(h.folder / "b.LV3"), std::string(2 * kBlock, 'b'));
  EXPECT_EQ(h.completed, (std::vector<std::string>{"a.LV3", "b.LV3"}));
  EXPECT_EQ(h.held.recordings(), 0u);
  EXPECT_EQ(h.held.bytes(), 0u);
  UnwrittenSummary summary;
  h.held.addTo(summary);
  EXPECT_TRUE(summary.empty());
}

TEST(HeldAudio, FullDiskTakesWholeBlocksAboveItsReserveAndTheRestWaits) {
  Held h;
  FullDisk disk(kDiskReserveBytes + 3 * kBlock + 100);
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "a.LV3", 5, 'a')));
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "b.LV3", 2, 'b')));
  EXPECT_EQ(h.held.retry(h.onCompleted), 3u);
  EXPECT_EQ(readFile(h.folder / "a.LV3"), std::string(3 * kBlock, 'a'));
  EXPECT_FALSE(std::filesystem::exists(h.folder / "b.LV3")) << "no room for the next one";
  EXPECT_TRUE(h.completed.empty());
  UnwrittenSummary waiting;
  h.held.addTo(waiting);
  ASSERT_EQ(waiting.held.size(), 2u);
  EXPECT_EQ(waiting.held[0].file, "a.LV3");
  EXPECT_EQ(waiting.held[0].blocks, 2u);
  EXPECT_EQ(waiting.held[1].blocks, 2u);
  EXPECT_EQ(h.reports("a.LV3"), 1) << "the write's failure, once";
  EXPECT_EQ(h.reports("b.LV3"), 0);

  disk.makeRoom(1 << 20);
  EXPECT_EQ(h.held.retry(h.onCompleted), 4u);
  EXPECT_EQ(readFile(h.folder / "a.LV3"), std::string(5 * kBlock, 'a'));
  EXPECT_EQ(readFile(h.folder / "b.LV3"), std::string(2 * kBlock, 'b'));
  EXPECT_EQ(h.completed, (std::vector<std::string>{"a.LV3", "b.LV3"}));
  EXPECT_EQ(h.held.bytes(), 0u);
}

TEST(HeldAudio, NameTakenByAnotherFileLosesTheAudioAndLeavesThatFileAlone) {
  Held h;
  writeFile(h.folder / "a.LV3", "someone else's");
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "a.LV3", 2, 'a')));
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "b.LV3", 1, 'b')));
  EXPECT_EQ(h.held.retry(h.onCompleted), 1u);
  EXPECT_EQ(readFile(h.folder / "a.LV3"), "someone else's");
  EXPECT_EQ(readFile(h.folder / "b.LV3"), std::string(kBlock, 'b'));
  EXPECT_EQ(h.completed, (std::vector<std::string>{"b.LV3"}));
  EXPECT_EQ(h.held.bytes(), 0u);
  UnwrittenSummary summary;
  h.held.addTo(summary);
  EXPECT_TRUE(summary.held.empty());
  ASSERT_EQ(summary.lost.size(), 1u);
  EXPECT_EQ(summary.lost[0].file, "a.LV3");
  EXPECT_EQ(summary.lost[0].blocks, 2u);
}

TEST(HeldAudio, AudioBeyondTheBudgetIsCountedLostAndLostAudioOfADroppedCallIsForgotten) {
  Held h;
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "a.LV3", kMaxHeldAudioBytes / kBlock, 'a')));
  EXPECT_FALSE(h.held.hold(recording(h.folder.path(), "b.LV3", 1, 'b')));
  EXPECT_EQ(h.held.recordings(), 1u);
  EXPECT_EQ(h.held.bytes(), kMaxHeldAudioBytes);
  h.held.countLost("c.LV3", 3, 2);
  h.held.countLost("c.LV3", 3, 3);
  h.held.countLost("d.LV3", 3, 1);
  h.held.forgetLost("d.LV3");
  UnwrittenSummary summary;
  h.held.addTo(summary);
  ASSERT_EQ(summary.lost.size(), 2u);
  EXPECT_EQ(summary.lost[0].file, "b.LV3");
  EXPECT_EQ(summary.lost[0].blocks, 1u);
  EXPECT_EQ(summary.lost[1].file, "c.LV3");
  EXPECT_EQ(summary.lost[1].blocks, 5u);
  EXPECT_NEAR(summary.lost[1].seconds, 0.32, 0.001);  // 5 blocks of 512 samples at 8000 a second
}

TEST(HeldAudio, TriedAgainAtMostOncePerPeriodAndOnlyWhenSomethingWaits) {
  Held h;
  FullDisk disk(0);
  EXPECT_EQ(h.held.retryWhenDue(5000, 1000, h.onCompleted), 0u);
  ASSERT_TRUE(h.held.hold(recording(h.folder.path(), "a.LV3", 1, 'a')));
  // Nothing was tried while nothing waited, so the first try comes at once.
  EXPECT_EQ(h.held.retryWhenDue(5000, 1000, h.onCompleted), 0u);
  disk.makeRoom(kDiskReserveBytes + kBlock);
  EXPECT_EQ(h.held.retryWhenDue(5999, 1000, h.onCompleted), 0u);
  EXPECT_EQ(h.held.recordings(), 1u);
  EXPECT_EQ(h.held.retryWhenDue(6000, 1000, h.onCompleted), 1u);
  EXPECT_EQ(h.held.recordings(), 0u);
}

}  // namespace
}  // namespace parvolin::engine
