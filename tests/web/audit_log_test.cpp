#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "support/expect_ok.h"
#include "support/test_files.h"
#include "web/audit_log.h"

namespace parvolin::web {
namespace {

AuditEntry entry(std::int64_t time, std::string action, std::string call = "") {
  return {time, "10.0.0.1", "anna", std::move(action), std::move(call), "ok"};
}

TEST(WebAuditLog, EntriesAreAppendedOneLineEachAndReadBack) {
  test::TempFolder folder;
  AuditLog log(folder / "audit.log");
  const std::vector<AuditEntry> written = {
      entry(1800000000, "login"),
      entry(1800000001, "play", "w6B49D200p3.LV2"),
      // Texts from outside are kept exactly, whatever they hold.
      {1800000002, "::1", "bert", "login-failed", "", "wrong \"name\"\nor <password>"},
      {1800000003, "::1", "bad\xff", "edit", "x", "ok"},
  };
  for (const AuditEntry& e : written) ASSERT_WORKED(log.append(e));
  struct stat st {};
  ASSERT_EQ(::stat((folder / "audit.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string text = test::readFile(folder / "audit.log");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);

  std::string problem;
  const auto read = readAuditLog(folder / "audit.log", problem);
  EXPECT_EQ(problem, "");
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0], written[0]);
  EXPECT_EQ(read[1], written[1]);
  EXPECT_EQ(read[2], written[2]);
  EXPECT_EQ(read[3].user, "bad\xef\xbf\xbd");  // not UTF-8: replaced, never refused

  const auto newest = readAuditLog(folder / "audit.log", problem, 2);
  ASSERT_EQ(newest.size(), 2u);
  EXPECT_EQ(newest[0], written[2]);
}

TEST(WebAuditLog, ATornOrDamagedLineIsSkippedNeverBreaksTheRest) {
  test::TempFolder folder;
  const std::string good = auditLine(entry(1, "login")) + auditLine(entry(2, "logout"));
  struct Case {
    const char* what;
    std::string file;
    std::size_t entries;
    const char* problem;
  };
  const Case cases[] = {
      {"torn last line", good + "{\"time\":3,\"addr", 2, ""},
      {"torn line, then more",
       auditLine(entry(1, "login")) + "{\"time\":3,\"ad" + auditLine(entry(2, "logout")), 1,
       "1 damaged line"},
      {"not an object", good + "[1,2]\n" + "garbage\n", 2, "2 damaged lines"},
      {"no action", good + "{\"time\":5}\n", 2, "1 damaged"},
      {"blank lines", "\n" + good + "\n", 2, ""},
      {"empty", "", 0, ""},
  };
  for (const Case& c : cases) {
    test::writeFile(folder / "audit.log", c.file);
    std::string problem;
    const auto read = readAuditLog(folder / "audit.log", problem);
    EXPECT_EQ(read.size(), c.entries) << c.what;
    if (std::string(c.problem).empty()) {
      EXPECT_EQ(problem, "") << c.what;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.what << ": " << problem;
    }
  }
  std::string problem;
  EXPECT_TRUE(readAuditLog(folder / "missing.log", problem).empty());
  EXPECT_EQ(problem, "");
  EXPECT_TRUE(readAuditLog(folder.path(), problem).empty());
  EXPECT_NE(problem, "");
}

TEST(WebAuditLog, AppendsFromManyThreadsLandWhole) {
  test::TempFolder folder;
  AuditLog log(folder / "audit.log");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i)
        (void)log.append(entry(t * 100 + i, "play", std::string(300, 'x')));
    });
  }
  for (auto& thread : threads) thread.join();
  std::string problem;
  EXPECT_EQ(readAuditLog(folder / "audit.log", problem).size(), 100u);
  EXPECT_EQ(problem, "");
}

TEST(WebAuditLog, AnAuditLogThatCannotBeWrittenSaysSo) {
  test::TempFolder folder;
  AuditLog log(folder / "missing-folder" / "audit.log");
  EXPECT_EQ(log.append(entry(1, "login")), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace parvolin::web
