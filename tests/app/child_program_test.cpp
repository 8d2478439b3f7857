// The recorder's child program (the web server): started with its arguments, stopped with the
// recorder, and ended by the kernel when the recorder dies without stopping it.

#include "app/child_program.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "support/test_files.h"

namespace parvolin::app {
namespace {

using namespace std::chrono_literals;
using test::TempFolder;

// A stand-in for lvsvr: writes its arguments, then waits to be stopped.
std::filesystem::path fakeServer(const TempFolder& folder) {
  const auto program = folder / "lvsvr";
  std::ofstream(program) << "#!/bin/sh\necho \"$@\" > \"" << (folder / "args.tmp").string()
                         << "\"\nmv \"" << (folder / "args.tmp").string() << "\" \""
                         << (folder / "args").string() << "\"\nexec sleep 60\n";
  ::chmod(program.c_str(), 0755);
  return program;
}

// Whether `pid` is gone (or a zombie nobody reaped yet).
bool ended(pid_t pid) {
  if (::kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string skip, state;
  stat >> skip >> skip >> state;
  return state == "Z";
}

template <typename Condition>
bool within(std::chrono::milliseconds time, Condition condition) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

TEST(ChildProgram, StartsWithItsArgumentsAndStopsWhenAsked) {
  TempFolder folder;
  ChildProgram child;
  std::string why;
  ASSERT_TRUE(child.start(fakeServer(folder), {"--folder", "/srv/rec dir"}, why)) << why;
  ASSERT_TRUE(child.pid());
  const pid_t pid = *child.pid();
  ASSERT_TRUE(within(10s, [&] { return std::filesystem::exists(folder / "args"); }));
  EXPECT_EQ(test::readFile(folder / "args"), "--folder /srv/rec dir\n");
  const auto before = std::chrono::steady_clock::now();
  child.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 4s) << "SIGTERM ends it, no SIGKILL wait";
  EXPECT_TRUE(ended(pid));
  EXPECT_FALSE(child.pid());
}

TEST(ChildProgram, AMissingProgramIsSaidAndNothingRuns) {
  TempFolder folder;
  ChildProgram child;
  std::string why;
  EXPECT_FALSE(child.start(folder / "lvsvr", {}, why));
  EXPECT_NE(why.find("No such file"), std::string::npos) << why;
  EXPECT_FALSE(child.pid());
}

TEST(ChildProgram, EndsWhenTheRecorderDiesWithoutStoppingIt) {
  TempFolder folder;
  const auto program = fakeServer(folder);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t recorder = ::fork();
  ASSERT_GE(recorder, 0);
  if (recorder == 0) {
    // The "recorder": starts the child, tells its id, and dies at once without a stop.
    ChildProgram child;
    std::string why;
    pid_t pid = child.start(program, {}, why) ? *child.pid() : -1;
    if (::write(pipeFds[1], &pid, sizeof pid) != sizeof pid) ::_exit(2);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  pid_t server = -1;
  ASSERT_EQ(::read(pipeFds[0], &server, sizeof server), static_cast<ssize_t>(sizeof server));
  ::close(pipeFds[0]);
  ::waitpid(recorder, nullptr, 0);
  ASSERT_GT(server, 0);
  EXPECT_TRUE(within(10s, [&] { return ended(server); })) << "the kernel's SIGTERM ends it";
}

}  // namespace
}  // namespace parvolin::app
