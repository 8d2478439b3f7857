#include "base/folder_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/test_files.h"

namespace parvolin::base {
namespace {

using parvolin::test::TempFolder;

TEST(FolderLock, SecondHolderIsToldWhoHoldsTheFolderUntilItIsReleased) {
  TempFolder folder;
  FolderLock first = FolderLock::acquire(folder.path(), "parvolin");
  ASSERT_TRUE(first.held()) << first.describe();

  FolderLock second = FolderLock::acquire(folder.path(), "pvtool");
  EXPECT_EQ(second.status(), FolderLock::Status::kBusy);
  const std::string holder = "process " + std::to_string(::getpid()) + " (parvolin)";
  EXPECT_EQ(second.holder(), holder);
  EXPECT_NE(second.describe().find(folder.path().string() + " is in use by " + holder),
            std::string::npos)
      << second.describe();

  first.release();
  FolderLock third = FolderLock::acquire(folder.path(), "pvtool");
  EXPECT_TRUE(third.held());
  EXPECT_EQ(parvolin::test::readFile(folder / kFolderLockName),
            std::to_string(::getpid()) + " pvtool\n");
}

// The one rule for every writer: another holder refuses the folder, a lock that cannot be made
// only warns and the work goes on.
TEST(FolderLock, ClaimRefusesAHeldFolderAndOnlyWarnsOfOneThatCannotBeLocked) {
  TempFolder folder;
  FolderClaim first = claimFolder(folder.path(), "parvolin");
  ASSERT_TRUE(first.lock.has_value()) << first.message;
  EXPECT_TRUE(first.lock->held());
  EXPECT_EQ(first.message, "");

  const FolderClaim second = claimFolder(folder.path(), "pvtool");
  EXPECT_TRUE(second.refused());
  EXPECT_EQ(second.message, FolderLock::acquire(folder.path()).describe());
  EXPECT_NE(second.message.find(" is in use by process "), std::string::npos) << second.message;

  const FolderClaim missing = claimFolder(folder / "not-there", "pvtool");
  ASSERT_TRUE(missing.lock.has_value()) << "only a warning";
  EXPECT_FALSE(missing.lock->held());
  EXPECT_NE(missing.message.find(": cannot lock the folder (.parvolin.lock): "), std::string::npos)
      << missing.message;

  first.lock->release();
  EXPECT_TRUE(claimFolder(folder.path(), "pvtool").lock.has_value()) << "free again";
}

TEST(FolderLock, ProcessThatDiesLeavesTheFolderFree) {
  TempFolder folder;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    FolderLock lock = FolderLock::acquire(folder.path(), "child");
    const char byte = lock.held() ? 'y' : 'n';
    [[maybe_unused]] const ssize_t n = ::write(ready[1], &byte, 1);
    ::pause();  // until killed, the lock held
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  FolderLock meanwhile = FolderLock::acquire(folder.path(), "test");
  EXPECT_EQ(meanwhile.holder(), "process " + std::to_string(child) + " (child)");
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(FolderLock::acquire(folder.path(), "test").held());
}

TEST(FolderLock, FolderThatIsNotThereCannotBeLocked) {
  TempFolder folder;
  FolderLock lock = FolderLock::acquire(folder / "missing", "parvolin");
  EXPECT_EQ(lock.status(), FolderLock::Status::kFailed);
  EXPECT_EQ(lock.error(), std::errc::no_such_file_or_directory);
  EXPECT_NE(lock.describe().find("cannot lock the folder"), std::string::npos);
}

}  // namespace
}  // namespace parvolin::base
