// The room audio may take on a disk: whole blocks above the reserve, and the recording folder's
// disk reported as it crosses the warning and the reserve, and when space comes back.

#include "engine/disk_room.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/collecting_diagnostics.h"
#include "support/full_disk.h"
#include "support/test_files.h"

namespace parvolin::engine {
namespace {

using parvolin::test::FullDisk;
using parvolin::test::TempFolder;

TEST(DiskRoom, RoomIsWholeBlocksAboveTheReserveAndChangesOfTheDiskAreReportedOnce) {
  TempFolder folder;
  base::VirtualClock clock;
  ::parvolin::test::CollectingDiagnostics diagnostics;
  DiskRoom disk(folder.path(), clock, diagnostics);
  struct Step {
    std::uint64_t freeBytes;
    std::uint64_t room;
    DiskSpace space;
    const char* report;  // the line reported, "" for none
  };
  const Step steps[] = {
      {kDiskWarningBytes + 1, kDiskWarningBytes - kDiskReserveBytes, DiskSpace::kEnough, ""},
      {kDiskWarningBytes, kDiskWarningBytes - kDiskReserveBytes, DiskSpace::kLow,
       "Disk nearly full: 16.0 MB free in "},
      {kDiskWarningBytes - 1000, kDiskWarningBytes - kDiskReserveBytes - 1024, DiskSpace::kLow, ""},
      {kDiskReserveBytes + 511, 0, DiskSpace::kLow, ""},
      {kDiskReserveBytes, 0, DiskSpace::kReserve, "Disk full: 4.0 MB free in "},
      // Back from the reserve to the warning: no second warning.
      {kDiskReserveBytes + 4096, 4096, DiskSpace::kLow, ""},
      {kDiskWarningBytes + 4096, kDiskWarningBytes - kDiskReserveBytes + 4096, DiskSpace::kEnough,
       "Disk space available again: 16.0 MB free in "},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.freeBytes);
    const FullDisk full(step.freeBytes);
    diagnostics.lines.clear();
    EXPECT_EQ(disk.audioRoom(folder.path()), step.room);
    EXPECT_EQ(disk.space(), step.space);
    if (*step.report == '\0') {
      EXPECT_TRUE(diagnostics.lines.empty());
    } else {
      ASSERT_EQ(diagnostics.lines.size(), 1u);
      EXPECT_EQ(diagnostics.lines[0],
                step.report + folder.path().string() +
                    (step.space == DiskSpace::kLow       ? "; recording stops at 4 MB"
                     : step.space == DiskSpace::kReserve ? "; no more audio is written, call "
                                                           "records and list rows still are"
                                                         : ""));
    }
  }
}

TEST(DiskRoom, AnotherFolderIsMeasuredButNotReportedAndLooksAreDueOncePerPeriod) {
  TempFolder folder;
  TempFolder other;
  base::VirtualClock clock;
  ::parvolin::test::CollectingDiagnostics diagnostics;
  DiskRoom disk(folder.path(), clock, diagnostics);
  EXPECT_TRUE(disk.lookDue(1000)) << "no look yet";
  FullDisk full(kDiskReserveBytes + 1024);
  EXPECT_EQ(disk.audioRoom(other.path()), 1024u);
  EXPECT_TRUE(diagnostics.lines.empty());
  EXPECT_EQ(disk.space(), DiskSpace::kEnough) << "the recording folder's disk was not looked at";
  clock.advanceMs(999);
  EXPECT_FALSE(disk.lookDue(1000));
  clock.advanceMs(1);
  EXPECT_TRUE(disk.lookDue(1000));
}

}  // namespace
}  // namespace parvolin::engine
