// Call log records that the log did not take wait, in order, and are written at the next try.

#include "engine/pending_call_log.h"

#include <gtest/gtest.h>

#include "engine/call_log.h"
#include "support/collecting_diagnostics.h"
#include "support/expect_ok.h"
#include "support/test_files.h"

namespace parvolin::engine {
namespace {

using parvolin::test::TempFolder;

CallRecord call(std::uint32_t start) {
  CallRecord record;
  record.callType = kCallAnswered;
  record.startTime = start;
  return record;
}

TEST(PendingCallLog, RecordsTheLogDoesNotTakeWaitInOrderAndTheFailureIsReportedOnce) {
  TempFolder temp;
  const std::filesystem::path folder = temp / "not yet";
  ::parvolin::test::CollectingDiagnostics diagnostics;
  DiagnosticOnce failures(diagnostics);
  PendingCallLog log(failures);
  EXPECT_WORKED(log.flush(folder)) << "nothing waited";

  log.add(call(100));
  log.add(call(200));
  EXPECT_EQ(log.flush(folder), std::errc::no_such_file_or_directory);
  log.add(call(300));
  EXPECT_EQ(log.flush(folder), std::errc::no_such_file_or_directory);
  EXPECT_EQ(log.size(), 3u);
  ASSERT_EQ(diagnostics.lines.size(), 1u);
  EXPECT_NE(diagnostics.lines[0].find(kCallLogName), std::string::npos);

  std::filesystem::create_directory(folder);
  EXPECT_WORKED(log.flush(folder));
  EXPECT_TRUE(log.empty());
  CallLogContents contents;
  ASSERT_WORKED(readCallLog(folder / kCallLogName, contents));
  ASSERT_EQ(contents.records.size(), 3u);
  EXPECT_EQ(contents.records[0].startTime, 100u);
  EXPECT_EQ(contents.records[1].startTime, 200u);
  EXPECT_EQ(contents.records[2].startTime, 300u);

  // Failing again after it worked is reported again.
  std::filesystem::remove_all(folder);
  log.add(call(400));
  EXPECT_EQ(log.flush(folder), std::errc::no_such_file_or_directory);
  EXPECT_EQ(diagnostics.lines.size(), 2u);
}

}  // namespace
}  // namespace parvolin::engine
