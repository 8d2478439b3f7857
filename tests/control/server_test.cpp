#include "control/server.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/folder_lock.h"
#include "control/client.h"
#include "control/protocol.h"
#include "control/socket_path.h"
#include "support/expect_ok.h"
#include "support/test_files.h"

namespace parvolin::control {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A recorder as the server sees it: a status set by the test, edits collected.
class FakeTarget final : public RecorderTarget {
 public:
  StatusSnapshot status(std::uint64_t* generation) const override {
    std::lock_guard lock(mutex);
    if (generation) *generation = generationValue;
    return snapshot;
  }
  void requestListEdit(engine::PendingListEdit edit, ListEditDone done) override {
    std::lock_guard lock(mutex);
    edits.emplace_back(std::move(edit), std::move(done));
  }
  void set(const std::string& lineOne) {
    std::lock_guard lock(mutex);
    snapshot.lines[0].status = lineOne;
    ++generationValue;
  }
  mutable std::mutex mutex;
  StatusSnapshot snapshot;
  std::uint64_t generationValue = 1;
  std::vector<std::pair<engine::PendingListEdit, ListEditDone>> edits;
};

class ControlServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_WORKED(server.start(socket())); }
  fs::path socket() const { return dir / "s.sock"; }
  ControlClient connect() {
    ControlClient client;
    EXPECT_TRUE(client.connect(socket())) << client.error();
    return client;
  }
  // A status round trip: the server is alive and answering.
  bool answers(ControlClient& client, int id) {
    EXPECT_WORKED(client.send({{"cmd", "status"}, {"id", id}}));
    const auto answer = client.answerTo(id, 10s);
    return answer && answer->value("ok", false);
  }
  test::TempFolder dir;
  FakeTarget target;
  ControlServer server{target, ServerLimits{4, 8 * 1024}};
};

TEST_F(ControlServerTest, SocketIsForItsOwnerOnly) {
  struct stat info {};
  ASSERT_EQ(::lstat(socket().c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_uid, ::geteuid());
  server.stop();
  EXPECT_FALSE(fs::exists(socket())) << "removed when the server stops";
}

TEST_F(ControlServerTest, ReplacesItsOwnStaleSocketButNeverAnotherFile) {
  server.stop();
  // A socket left behind by a run that was killed.
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socket().c_str());
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  EXPECT_WORKED(server.start(socket()));
  server.stop();

  std::ofstream(socket()) << "precious";
  EXPECT_TRUE(server.start(socket()).has_value());
  EXPECT_EQ(test::readFile(socket()), "precious");
}

TEST_F(ControlServerTest, AnswersStatusAndStreamsChangesToWatchers) {
  target.set("IDLE");
  ControlClient watcher = connect();
  EXPECT_WORKED(watcher.send({{"cmd", "watch"}, {"id", "w"}}));
  ASSERT_TRUE(watcher.answerTo("w", 10s));
  auto event = watcher.receive(10s);
  ASSERT_TRUE(event);
  EXPECT_EQ((*event)["event"], "status");
  EXPECT_EQ((*event)["status"]["lines"][0]["status"], "IDLE");

  target.set("RING");
  server.notify();
  event = watcher.receive(10s);
  ASSERT_TRUE(event);
  EXPECT_EQ((*event)["status"]["lines"][0]["status"], "RING");

  // No change, no event.
  server.notify();
  EXPECT_FALSE(watcher.receive(300ms));
  EXPECT_TRUE(watcher.timedOut());
}

TEST_F(ControlServerTest, GarbageIsAnsweredAndNeverStopsTheServer) {
  ControlClient client = connect();
  const std::vector<std::string> garbage = {"{",
                                            "null",
                                            "[]",
                                            "42",
                                            R"({"cmd":[]})",
                                            R"({"cmd":"shutdown"})",
                                            R"({"cmd":"list-edit","op":"delete","item":"all"})",
                                            std::string(100, '\0'),
                                            "\x1b[2J\xff",
                                            R"({"cmd":"status","v":99})"};
  std::string burst;
  for (int i = 0; i < 1000; ++i) burst += garbage[std::size_t(i) % garbage.size()] + "\n";
  // One line far over the limit, sent in pieces, then a good request on the same connection.
  burst += std::string(100 * 1024, 'x') + "\n";
  // Sent without reading a single answer: the server reads on, its answers wait or are dropped.
  std::size_t done = 0;
  while (done < burst.size()) {
    const ssize_t n = ::send(client.fd(), burst.data() + done,
                             std::min<std::size_t>(4096, burst.size() - done), MSG_NOSIGNAL);
    ASSERT_GT(n, 0);
    done += std::size_t(n);
  }
  // Every bad line is answered, or counted as dropped in a later answer when the client was
  // slower than the server; the status answer after them says how many were dropped last.
  int errors = 0;
  std::uint64_t dropped = 0;
  bool sentStatus = false;
  for (;;) {
    auto answer = client.receive(sentStatus ? 10s : 1s);
    if (!answer && !sentStatus && client.timedOut()) {
      // All that waited is read: now a good request.
      EXPECT_WORKED(client.send({{"cmd", "status"}, {"id", 7}}));
      sentStatus = true;
      continue;
    }
    ASSERT_TRUE(answer) << client.error() << " after " << errors << " answers";
    dropped += answer->value("dropped", std::uint64_t(0));
    if (answer->value("id", json()) == 7) {
      EXPECT_EQ(answer->value("ok", false), true) << "the same connection still works";
      break;
    }
    EXPECT_EQ(answer->value("ok", true), false);
    ++errors;
  }
  EXPECT_EQ(errors + dropped, 1001u);
  EXPECT_EQ(server.counters().badMessages, 1001u);
  EXPECT_EQ(server.counters().dropped, dropped);
  ControlClient other = connect();
  EXPECT_TRUE(answers(other, 8));
}

TEST_F(ControlServerTest, AClientThatNeverReadsCostsABoundedBufferAndNothingElse) {
  ControlClient deaf = connect();
  // Requests whose answers fill the socket and then the server's buffer for this client.
  const std::string request = encodeLine({{"cmd", "status"}});
  std::string many;
  for (int i = 0; i < 20'000; ++i) many += request;
  std::size_t done = 0;
  while (done < many.size()) {
    const ssize_t n =
        ::send(deaf.fd(), many.data() + done, many.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;  // the server stopped reading from it: its input is full too
    done += std::size_t(n);
  }
  ControlClient other = connect();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(answers(other, 1));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  for (int i = 0; i < 50 && server.counters().dropped == 0; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_GT(server.counters().dropped, 0u);
}

TEST_F(ControlServerTest, TurnsAwayConnectionsOverTheLimit) {
  std::vector<ControlClient> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(connect());
    ASSERT_TRUE(answers(clients.back(), i));
  }
  ControlClient extra = connect();
  // The refusal comes unasked and the server closes at once: a request sent after it may find
  // the connection closed already, so none is sent.
  const auto answer = extra.receive(10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["error"]["code"], "too-many-clients");
  clients.pop_back();
  ControlClient later;
  for (int i = 0; i < 100; ++i) {
    later = connect();
    if (answers(later, 9)) break;
  }
  EXPECT_TRUE(answers(later, 10)) << "a place freed is given again";
}

TEST_F(ControlServerTest, AnswersAListEditWhenTheRecorderHasAppliedIt) {
  const fs::path list = dir / "ParvolinLog.htm";
  {
    std::lock_guard lock(target.mutex);
    target.snapshot.list = list.string();
  }
  ControlClient client = connect();
  EXPECT_WORKED(client.send({{"cmd", "list-edit"}, {"id", 3}, {"op", "delete-all"}}));
  auto answer = client.answerTo(3, 10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["error"]["code"], "no-rows") << "no list yet";

  std::string text(engine::kHtmlHeader);
  engine::CallRecord record;
  record.callType = engine::kCallAnswered;
  record.startTime = 1'796'720'000u;
  text += engine::htmlRow(record, 3, false, 1);
  std::ofstream(list, std::ios::binary) << text;
  EXPECT_WORKED(client.send({{"cmd", "list-edit"}, {"id", 4}, {"op", "delete"}, {"item", 1}}));
  // Nothing is answered before the recorder applied it.
  EXPECT_FALSE(client.answerTo(4, 300ms));
  std::pair<engine::PendingListEdit, RecorderTarget::ListEditDone> edit;
  {
    std::lock_guard lock(target.mutex);
    ASSERT_EQ(target.edits.size(), 1u);
    edit = std::move(target.edits.front());
  }
  EXPECT_FALSE(edit.first.deleteAll) << "an item, even the only one, is not Delete All";
  EXPECT_NE(edit.first.oldText.find("<tr>"), std::string::npos);
  EXPECT_TRUE(edit.first.newText.empty());
  engine::ListEditResult result;
  result.applied = true;
  result.undeleted = {"/x/held.LV3"};
  edit.second(result);
  answer = client.answerTo(4, 10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["applied"], true);
  EXPECT_EQ((*answer)["undeleted"][0], "/x/held.LV3");
  // The answer of a client that went away goes nowhere.
  EXPECT_WORKED(client.send({{"cmd", "list-edit"}, {"id", 5}, {"op", "delete"}, {"item", 1}}));
  for (int i = 0; i < 100; ++i) {
    std::lock_guard lock(target.mutex);
    if (target.edits.size() == 2) break;
  }
  client.close();
  std::this_thread::sleep_for(50ms);
  std::lock_guard lock(target.mutex);
  ASSERT_EQ(target.edits.size(), 2u);
  target.edits.back().second(result);
}

TEST(ControlPeers, OnlyTheOwnUserAndTheServiceGroupMayConnect) {
  const struct {
    uid_t peer;
    gid_t peerGid;
    std::optional<gid_t> group;
    bool allowed;
  } cases[] = {
      {1000, 1000, std::nullopt, true},                                // the recorder's own user
      {1001, 1000, std::nullopt, false}, {0, 0, std::nullopt, false},  // root is a stranger too
      {1001, 500, gid_t(500), true},  // a member of the service's group
      {1001, 1001, gid_t(500), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(peerAllowed(c.peer, c.peerGid, 1000, c.group), c.allowed)
        << c.peer << "/" << c.peerGid;
  }
}

// What a connection made as user `nobody` gets: "refused" when the socket cannot be reached,
// else the server's first line.
std::string connectAsNobody(const fs::path& socket) {
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return "no user nobody";
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string result;
    if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
      result = "setuid failed";
    } else {
      ControlClient client;
      // The stranger trusts the server, so that only the server's refusal is tested.
      if (!client.connect(socket, 0)) {
        result = "refused";
      } else {
        EXPECT_WORKED(client.send({{"cmd", "status"}, {"id", 1}}));
        const auto answer = client.receive(10s);
        result = answer ? answer->dump() : "closed";
      }
    }
    [[maybe_unused]] const auto n = ::write(pipeFds[1], result.data(), result.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    result.append(buffer, std::size_t(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return result;
}

TEST_F(ControlServerTest, AStrangerIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ::chmod(dir.path().c_str(), 0755);
  // The socket file's mode keeps the stranger out...
  EXPECT_EQ(connectAsNobody(socket()), "refused");
  // ... and the peer's credentials, when the mode would let it in.
  ::chmod(socket().c_str(), 0666);
  const std::string answer = connectAsNobody(socket());
  EXPECT_NE(answer.find("not-allowed"), std::string::npos) << answer;
  EXPECT_EQ(answer.find("\"status\""), std::string::npos) << answer;
  EXPECT_GE(server.counters().refused, 1u);
  ControlClient own = connect();
  EXPECT_TRUE(answers(own, 1));
}

TEST(ControlSocketPath, OnePerFolderFoundThroughTheLock) {
  test::TempFolder dir;
  const auto a = socketPathFor(dir.path(), "/srv/rec/a");
  const auto b = socketPathFor(dir.path(), "/srv/rec/b");
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(*a, socketPathFor(dir.path(), "/srv/rec/a/."));
  EXPECT_FALSE(socketPathFor(fs::path("/") / std::string(120, 'x'), "/srv"));

  // The lock file names the holder on its first line and the socket below.
  const fs::path folder = dir / "rec";
  fs::create_directories(folder);
  EXPECT_FALSE(socketFromLock(folder));
  {
    auto lock = base::FolderLock::acquire(folder, "parvolin");
    ASSERT_TRUE(lock.held());
    EXPECT_TRUE(nameSocketInLock(folder, *a));
    EXPECT_EQ(socketFromLock(folder), *a);
    auto second = base::FolderLock::acquire(folder, "pvtool list");
    EXPECT_EQ(second.status(), base::FolderLock::Status::kBusy);
    EXPECT_EQ(second.holder(), "process " + std::to_string(::getpid()) + " (parvolin)");
  }
  // Written by somebody else: not taken over.
  std::ofstream(folder / base::kFolderLockName) << "1 parvolin\n";
  EXPECT_FALSE(nameSocketInLock(folder, *a));
  std::ofstream(folder / base::kFolderLockName) << "1 parvolin\ncontrol relative/path\n";
  EXPECT_FALSE(socketFromLock(folder)) << "only an absolute path";
}

}  // namespace
}  // namespace parvolin::control
