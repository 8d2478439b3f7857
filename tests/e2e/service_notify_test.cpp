// The headless recorder under a service manager: what it sends on the notification socket
// (systemd's Type=notify protocol), received here on a socket of the test's own.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <csignal>

#include "app/service_notifier.h"
#include "e2e/run_program.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;
using parvolin::test::TempFolder;
namespace fs = std::filesystem;

// A datagram socket bound in the test's folder, as systemd's NOTIFY_SOCKET is.
class NotifySocket {
 public:
  explicit NotifySocket(const fs::path& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    timeval wait{0, 100'000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~NotifySocket() { ::close(fd_); }
  bool bound() const { return bound_; }

  // Reads what arrives until a message holds `text` or `timeout` passes; whether one did.
  bool waitFor(const std::string& text, std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
          char buffer[4096];
          for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) {
            messages.emplace_back(buffer, std::size_t(n));
          }
          for (const auto& m : messages) {
            if (m.find(text) != std::string::npos) return true;
          }
          return false;
        },
        timeout);
  }
  std::size_t count(const std::string& text) const {
    std::size_t n = 0;
    for (const auto& m : messages) n += m.find(text) != std::string::npos;
    return n;
  }

  std::vector<std::string> messages;

 private:
  fs::path path_;
  int fd_ = -1;
  bool bound_ = false;
};

TEST(ServiceNotify, ReadyWithAStatusLineKeepAlivesAndStopping) {
  if (!app::ServiceNotifier::available()) GTEST_SKIP() << "built without libsystemd";
  TempFolder root;
  NotifySocket socket(root / "notify");
  ASSERT_TRUE(socket.bound());
  test::writeFile(root / "calls.scn",
                  "unit PV0001\n"
                  "0.5 1/2 ring\n"
                  "1.0 1/2 answer\n"
                  "1.0 1/2 talk 60\n"
                  "61 1/2 callend 5551234\n");
  fs::create_directories(root / "home");
  ProgramRun recorder(fs::path(PARVOLIN_BINARY_DIR) / "programs" / "parvolin",
                      {"--headless", "--simulate=" + (root / "calls.scn").string(), "--config",
                       (root / "p.conf").string(), "--folder", "rec"},
                      {{"HOME", (root / "home").string()},
                       {"XDG_DATA_HOME", (root / "home/data").string()},
                       {"XDG_CONFIG_HOME", (root / "home/config").string()},
                       {"DISPLAY", ""},
                       {"NOTIFY_SOCKET", (root / "notify").string()},
                       {"WATCHDOG_USEC", "200000"}},
                      root.path(), root / "out.txt", root / "err.txt");
  ASSERT_TRUE(socket.waitFor("READY=1", 20s)) << recorder.errors();
  EXPECT_TRUE(socket.waitFor("STATUS=0 of 4 lines in a call", 1s));
  // The call on port 2 shows in the status; the poll loop keeps the watchdog fed (every 100 ms).
  EXPECT_TRUE(socket.waitFor("STATUS=1 of 4 lines in a call", 20s)) << recorder.output();
  EXPECT_TRUE(waitUntil(
      [&] {
        socket.waitFor("WATCHDOG=1", 0s);
        return socket.count("WATCHDOG=1") >= 3;
      },
      5s));
  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.wait(), 0);
  EXPECT_TRUE(socket.waitFor("STOPPING=1", 1s));
}

TEST(ServiceNotify, TheLastProblemShowsInTheStatusLine) {
  if (!app::ServiceNotifier::available()) GTEST_SKIP() << "built without libsystemd";
  TempFolder root;
  NotifySocket socket(root / "notify");
  ASSERT_TRUE(socket.bound());
  test::writeFile(root / "one.scn", "unit PV0001\n");
  test::writeFile(root / "file", "");
  fs::create_directories(root / "home");
  // The configured recording folder cannot be made below a file: the recorder says so and runs
  // on in the folder it started in.
  test::writeFile(root / "p.conf",
                  "[Parvolin]\nParvolinPath=" + (root / "file" / "rec").string() + "\n");
  ProgramRun recorder(fs::path(PARVOLIN_BINARY_DIR) / "programs" / "parvolin",
                      {"--headless", "--simulate=" + (root / "one.scn").string(), "--config",
                       (root / "p.conf").string()},
                      {{"HOME", (root / "home").string()},
                       {"XDG_DATA_HOME", (root / "home/data").string()},
                       {"XDG_CONFIG_HOME", (root / "home/config").string()},
                       {"DISPLAY", ""},
                       {"NOTIFY_SOCKET", (root / "notify").string()}},
                      root.path(), root / "out.txt", root / "err.txt");
  ASSERT_TRUE(socket.waitFor("READY=1", 20s)) << recorder.errors();
  EXPECT_TRUE(socket.waitFor("; last problem ", 1s));
  EXPECT_TRUE(socket.waitFor("Fail to locate the directory at: ", 1s)) << socket.messages[0];
  EXPECT_TRUE(socket.waitFor("\\x0APlease reconfigure", 1s)) << "one line, the break escaped";
  EXPECT_EQ(socket.count("WATCHDOG=1"), 0u) << "no watchdog asked for";
  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.wait(), 0);
}

}  // namespace
}  // namespace parvolin::e2e
