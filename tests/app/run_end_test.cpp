// The end both front ends share: what the run could not write is named, and the exit status
// says whether there was any.

#include "app/run_end.h"

#include <gtest/gtest.h>

#include "app/headless.h"
#include "support/collecting_diagnostics.h"
#include "support/full_disk.h"
#include "support/recorder_run.h"

namespace parvolin::app {
namespace {

using test::RecorderRun;

constexpr const char* kOneCall =
    "unit A1\n"
    "1 1/1 ring\n"
    "+0.5 1/1 answer\n"
    "+0 1/1 talk 2 silence\n"
    "+2 1/1 callend 5551234\n";

TEST(RunEnd, RunThatWroteEverythingEndsStoppedAndSaysNothing) {
  RecorderRun run(kOneCall);
  run.open();
  run.tickUntil(5);
  ASSERT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::DontAsk));
  test::CollectingDiagnostics end;
  EXPECT_EQ(finish(*run.recorder, end), kExitStopped);
  EXPECT_TRUE(end.lines.empty());
}

TEST(RunEnd, RunThatCouldNotWriteEverythingNamesItAndEndsUnwritten) {
  RecorderRun run(kOneCall);
  run.open();
  test::FullDisk disk(0);
  run.tickUntil(5);
  ASSERT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::DontAsk));
  test::CollectingDiagnostics end;
  EXPECT_EQ(finish(*run.recorder, end), kExitUnwritten);
  EXPECT_EQ(end.lines, run.recorder->unwrittenReport());
  ASSERT_GE(end.lines.size(), 3u);
  EXPECT_EQ(end.lines[0], "Not everything recorded reached the disk:");
  EXPECT_EQ(end.lines.back(), "ZEruTestNew.htm: 1 row not written");
}

}  // namespace
}  // namespace parvolin::app
