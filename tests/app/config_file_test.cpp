#include "app/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::readFile;
using test::TempFolder;
using test::writeFile;
namespace fs = std::filesystem;

TEST(ConfigFile, OnlySettingsFilesThatCanBeWrittenAreTaken) {
  TempFolder dir;
  const std::string settings = "[Parvolin]\r\nUSN=7\r\n; a note\r\n\r\nParvolinPath=/a b\r\n";
  writeFile(dir / "good.conf", settings);
  writeFile(dir / "empty.conf", "");
  writeFile(dir / "letter.txt", "[Parvolin]\nDear all,\nthe meeting is at ten.\n");
  writeFile(dir / "binary", std::string("USN=7\n\0\x01\x02", 9));
  writeFile(dir / "afile", "plain");
  fs::create_directory(dir / "adir");
  struct Case {
    fs::path file;
    const char* problem;  // a part of the message; empty: taken
  };
  const Case cases[] = {
      {dir / "good.conf", ""},
      {dir / "empty.conf", ""},
      {dir / "new.conf", ""},
      // A typing error is never made into new folders.
      {dir / "new" / "folder" / "p.conf", "folder"},
      {dir / "letter.txt", "is not a settings file (line 2 is no setting)"},
      {dir / "binary", "is not a settings file"},
      {dir / "adir", "is a folder"},
      {dir / "afile" / "p.conf", "does not exist"},
  };
  for (const Case& c : cases) {
    const auto problem = configFileProblem(c.file);
    if (*c.problem == '\0') {
      EXPECT_FALSE(problem) << c.file << ": " << *problem;
    } else {
      ASSERT_TRUE(problem) << c.file;
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
  }
  // Nothing was rewritten, and no probe was left behind.
  EXPECT_EQ(readFile(dir / "good.conf"), settings);
  EXPECT_EQ(readFile(dir / "letter.txt"), "[Parvolin]\nDear all,\nthe meeting is at ten.\n");
  EXPECT_FALSE(fs::exists(dir / "new.conf"));
  EXPECT_FALSE(fs::exists(dir / "new"));
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 6u);
}

// Only to be read, a file must be there; its folder need not take a new file.
TEST(ConfigFile, AFileOnlyReadMustExistAndBeASettingsFile) {
  TempFolder dir;
  writeFile(dir / "good.conf", "[Parvolin]\nUSN=7\n");
  writeFile(dir / "letter.txt", "Dear all,\n");
  fs::create_directory(dir / "adir");
  struct Case {
    fs::path file;
    const char* problem;
  };
  const Case cases[] = {
      {dir / "good.conf", ""},
      {dir / "new.conf", "no such settings file"},
      {dir / "missing" / "p.conf", "no such settings file"},
      {dir / "adir", "is a folder"},
      {dir / "letter.txt", "is not a settings file"},
  };
  for (const Case& c : cases) {
    const auto problem = configFileProblem(c.file, ConfigUse::kRead);
    if (*c.problem == '\0') {
      EXPECT_FALSE(problem) << c.file << ": " << *problem;
    } else {
      ASSERT_TRUE(problem) << c.file;
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(ConfigFile, FileThatMayNotBeWrittenIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  TempFolder dir;
  writeFile(dir / "p.conf", "[Parvolin]\nUSN=7\n");
  ::chmod((dir / "p.conf").c_str(), 0444);
  ASSERT_TRUE(configFileProblem(dir / "p.conf"));
  EXPECT_NE(configFileProblem(dir / "p.conf")->find("cannot be written"), std::string::npos);
  fs::create_directory(dir / "locked");
  ::chmod((dir / "locked").c_str(), 0555);
  EXPECT_TRUE(configFileProblem(dir / "locked" / "p.conf"));
  ::chmod((dir / "locked").c_str(), 0755);
}

}  // namespace
}  // namespace parvolin::app
