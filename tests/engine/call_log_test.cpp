#include "engine/call_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/expect_ok.h"
#include "support/test_files.h"

namespace parvolin::engine {
namespace {

using test::TempFolder;

CallRecord call(std::uint8_t portIndex, std::uint8_t callType, std::uint32_t start) {
  CallRecord r;
  r.portIndex = portIndex;
  r.callType = callType;
  r.startTime = start;
  return r;
}

std::string bytesOf(const std::vector<CallRecord>& records) {
  std::string bytes;
  for (const CallRecord& r : records) {
    const auto raw = encodeCallRecord(r);
    bytes.append(reinterpret_cast<const char*>(raw.data()), raw.size());
  }
  return bytes;
}

// More records than one buffer holds, so that the reader refills across record boundaries,
// and a record cut short at the end.
TEST(CallLogReader, ReadsEveryRecordWithItsOffsetAndTellsOfATornTail) {
  TempFolder folder;
  std::vector<CallRecord> written;
  for (std::uint32_t i = 0; i < 5000; ++i) written.push_back(call(i % 16, kCallAnswered, i));
  test::writeFile(folder / "log", bytesOf(written) + std::string(7, 'x'));

  CallLogReader reader;
  ASSERT_WORKED(reader.open(folder / "log"));
  CallRecord r;
  std::uint64_t offset = 0;
  std::size_t n = 0;
  while (reader.next(r, offset)) {
    ASSERT_LT(n, written.size());
    EXPECT_EQ(r, written[n]) << n;
    EXPECT_EQ(offset, n * kCallRecordSize);
    ++n;
  }
  EXPECT_EQ(n, written.size());
  EXPECT_FALSE(reader.error());
  EXPECT_EQ(reader.tornBytes(), 7u);
  EXPECT_EQ(reader.tornOffset(), 5000u * kCallRecordSize);
  EXPECT_FALSE(reader.next(r, offset)) << "stays at its end";
}

// One reader, several logs: each is read from its start, whatever the one before left behind;
// and a log that grows after it is opened is read to its new end.
TEST(CallLogReader, ReadsEachLogItOpensWholeAndALogThatGrowsToItsEnd) {
  TempFolder folder;
  std::vector<CallRecord> longLog, shortLog;
  for (std::uint32_t i = 0; i < 3000; ++i) longLog.push_back(call(3, kCallOutgoing, i));
  for (std::uint32_t i = 0; i < 2; ++i) shortLog.push_back(call(9, kCallRinging, 100 + i));
  test::writeFile(folder / "long", bytesOf(longLog) + "abc");
  test::writeFile(folder / "short", bytesOf(shortLog) + "z");

  CallLogReader reader;
  CallRecord r;
  std::uint64_t offset = 0;
  ASSERT_WORKED(reader.open(folder / "long"));
  for (int i = 0; i < 2100; ++i) ASSERT_TRUE(reader.next(r, offset));
  ASSERT_WORKED(reader.open(folder / "short"));
  for (std::size_t i = 0; i < shortLog.size(); ++i) {
    ASSERT_TRUE(reader.next(r, offset)) << i;
    EXPECT_EQ(r, shortLog[i]) << i;
    EXPECT_EQ(offset, i * kCallRecordSize);
  }
  EXPECT_FALSE(reader.next(r, offset));
  EXPECT_EQ(reader.tornBytes(), 1u);
  EXPECT_EQ(reader.tornOffset(), 2u * kCallRecordSize);

  // Opened while it held one record; ten more arrive before the first read.
  test::writeFile(folder / kCallLogName, bytesOf({shortLog[0]}));
  ASSERT_WORKED(reader.open(folder / kCallLogName));
  for (std::uint32_t i = 0; i < 10; ++i) {
    ASSERT_WORKED(appendCallLog(folder.path(), call(1, kCallAnswered, i)));
  }
  std::size_t n = 0;
  while (reader.next(r, offset)) ++n;
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(reader.tornBytes(), 0u);
}

// A refused file leaves nothing to read.
TEST(CallLogReader, RefusesWhatIsNoFile) {
  TempFolder folder;
  CallLogReader reader;
  EXPECT_EQ(reader.open(folder.path()), std::errc::is_a_directory);
  EXPECT_EQ(reader.open(folder / "none"), std::errc::no_such_file_or_directory);
  EXPECT_EQ(reader.open("/dev/null"), std::errc::invalid_argument);
  CallRecord r;
  std::uint64_t offset = 0;
  EXPECT_FALSE(reader.next(r, offset));
  EXPECT_FALSE(reader.error());
}

TEST(CallLogRecords, OnlyThePortsAndCallTypesTheRecorderLogsCanBeReal) {
  struct Case {
    std::uint8_t portIndex, callType;
    const char* why;  // empty: can be real
  };
  const Case cases[] = {
      {0, 2, ""},
      {15, 3, ""},
      {4, 6, ""},
      {7, 7, ""},
      {8, 9, ""},
      {9, 11, ""},
      {16, 7, "port 17 is above 16"},
      {80, 7, "port 81 is above 16"},
      {0, 0, "call type 0 is never logged"},
      {0, 1, "call type 1 is never logged"},
      {0, 8, "call type 8 is never logged"},
      {0, 86, "call type 86 is never logged"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(whyNotARealCall(call(c.portIndex, c.callType, 0)), c.why)
        << int(c.portIndex) << " " << int(c.callType);
  }
}

}  // namespace
}  // namespace parvolin::engine
