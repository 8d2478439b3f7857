#include "base/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "support/expect_ok.h"

namespace parvolin::base {
namespace {

// A write call that a test scripts: each call takes the next count from `results` (a negative
// count fails with EINTR once), and records the sizes it was asked for.
struct ScriptedWrites {
  static inline std::vector<ssize_t> results;
  static inline std::vector<std::size_t> asked;
  static ssize_t write(int, const void*, std::size_t size) {
    asked.push_back(size);
    if (results.empty()) return static_cast<ssize_t>(size);
    const ssize_t n = results.front();
    results.erase(results.begin());
    if (n < 0) errno = EINTR;
    return n < 0 ? -1 : n;
  }
};

TEST(WriteAll, PartialAndInterruptedWritesGoOnAWriteOfNothingFails) {
  const std::vector<std::uint8_t> bytes(10, 0x55);
  struct Case {
    std::vector<ssize_t> results;
    std::vector<std::size_t> asked;
    bool fails;
  };
  const Case cases[] = {
      {{}, {10}, false},
      {{4, -1, 3}, {10, 6, 6, 3}, false},
      // A write that returns 0 is reported at once, not tried again for ever.
      {{4, 0}, {10, 6}, true},
  };
  for (const Case& c : cases) {
    ScriptedWrites::results = c.results;
    ScriptedWrites::asked.clear();
    const std::error_code error = detail::writeAllWith(ScriptedWrites::write, 3, bytes);
    if (c.fails) {
      EXPECT_EQ(error, std::errc::no_space_on_device);
    } else {
      EXPECT_WORKED(error);
    }
    EXPECT_EQ(ScriptedWrites::asked, c.asked);
  }
}

TEST(WriteAll, CountsWhatWentInWhenTheDiskFillsUp) {
  const std::vector<std::uint8_t> bytes(10, 0x55);
  ScriptedWrites::results = {4, 3, 0};
  ScriptedWrites::asked.clear();
  std::size_t written = 99;
  EXPECT_EQ(detail::writeAllWith(ScriptedWrites::write, 3, bytes, written),
            std::errc::no_space_on_device);
  EXPECT_EQ(written, 7u);
}

TEST(WriteAll, FullDeviceIsReported) {
  FileHandle full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  if (!full.isOpen()) GTEST_SKIP() << "no /dev/full";
  const std::vector<std::uint8_t> bytes(100, 1);
  EXPECT_EQ(writeAll(full.fd(), bytes), std::errc::no_space_on_device);
}

}  // namespace
}  // namespace parvolin::base
