#include "app/control_target.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>

#include "app/recorder.h"
#include "control/client.h"
#include "control/protocol.h"
#include "control/socket_path.h"
#include "logview/engine_list_edits.h"
#include "logview/file_manager_session.h"
#include "logview/list_files.h"
#include "support/expect_ok.h"
#include "support/recorder_run.h"
#include "support/scripted_prompt.h"

namespace parvolin::app {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

// A call on port 1, then two more on ports 2 and 3: three rows in the list.
constexpr const char* kThreeCalls =
    "unit A1\n"
    "1 1/1 ring\n"
    "+0.5 1/1 callerid A 5551234\n"
    "+1 1/1 answer\n"
    "+0 1/1 talk 2 silence\n"
    "+2 1/1 callend 5551234\n"
    "6 1/2 dialout 110\n"
    "+1 1/2 talk 2 silence\n"
    "+2 1/2 calloutend 110\n"
    "10 1/3 ring\n"
    "+1 1/3 answer\n"
    "+0 1/3 talk 2 silence\n"
    "+2 1/3 callend 777\n";

// A recorder on emulated units, served on its control socket in a runtime folder of the test's.
struct ServedRun {
  explicit ServedRun(const std::string& scenario) : run(scenario) {
    ::unsetenv("RUNTIME_DIRECTORY");
    fs::create_directories(run.dir / "runtime");
    ::setenv("XDG_RUNTIME_DIR", (run.dir / "runtime").c_str(), 1);
    run.open();
    control = std::make_unique<RecorderControl>(*run.recorder, run.clock);
    const auto problem = control->listen();
    EXPECT_WORKED(problem);
  }
  ~ServedRun() { control.reset(); }
  void tick() {
    control->beforeTick();
    run.recorder->tick();
    control->afterTick();
    run.clock.advanceMs(run.timer.period);
  }
  void tickUntil(double seconds) {
    while (run.clock.monotonicMs() < std::int64_t(seconds * 1000)) tick();
  }
  parvolin::control::ControlClient connect() {
    std::string why;
    auto client = parvolin::control::connectToRecorder(run.rec(), why);
    EXPECT_TRUE(client) << why;
    return client ? std::move(*client) : parvolin::control::ControlClient();
  }
  // Sends `request` and ticks until it is answered.
  std::optional<json> askWhileTicking(parvolin::control::ControlClient& client, json request) {
    const json id = request["id"];
    EXPECT_WORKED(client.send(request));
    for (int i = 0; i < 2000; ++i) {
      tick();
      if (auto answer = client.answerTo(id, 5ms)) return answer;
    }
    return std::nullopt;
  }
  test::RecorderRun run;
  std::unique_ptr<RecorderControl> control;
};

TEST(RecorderControl, StatusIsWhatTheWindowShows) {
  ServedRun served(kThreeCalls);
  served.tickUntil(3);
  auto client = served.connect();
  EXPECT_WORKED(client.send({{"cmd", "status"}, {"id", 1}}));
  const auto answer = client.answerTo(1, 10s);
  ASSERT_TRUE(answer);
  const auto status = parvolin::control::statusFromJson((*answer)["status"]);
  ASSERT_TRUE(status);
  const WindowFields& fields = served.run.recorder->fields();
  for (int p = 0; p < device::kMaxPorts; ++p) {
    EXPECT_EQ(status->lines[std::size_t(p)].status, fields.statusText(p)) << p;
    EXPECT_EQ(status->lines[std::size_t(p)].detail, fields.detailText(p)) << p;
  }
  EXPECT_EQ(status->lines[0].status, " Port:  1          Recording");
  EXPECT_TRUE(status->lines[0].inCall);
  EXPECT_EQ(status->linesInCall(), 1);
  EXPECT_EQ(status->linesServed(), 4);
  EXPECT_EQ(status->capacity.itemsText, fields.capacity().itemsText);
  EXPECT_EQ(status->location, fields.locationLine);
  EXPECT_EQ(status->folder, served.run.rec().string());
  EXPECT_EQ(status->list, served.run.recorder->listPath().string());
  EXPECT_TRUE(status->units[0].present);
  EXPECT_FALSE(status->units[1].present);
  EXPECT_TRUE(status->freeBytes.has_value());
  EXPECT_GT(status->ticks, 0u);

  // The socket is the user's alone, in the runtime folder, named in the folder's lock.
  const auto socket = parvolin::control::socketFromLock(served.run.rec());
  ASSERT_TRUE(socket);
  EXPECT_EQ(socket->parent_path(), served.run.dir / "runtime");
  struct stat info {};
  ASSERT_EQ(::stat(socket->c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(RecorderControl, AWatcherSeesACallRingBeAnsweredAndEnd) {
  ServedRun served(kThreeCalls);
  auto watcher = served.connect();
  EXPECT_WORKED(watcher.send({{"cmd", "watch"}, {"id", 1}}));
  ASSERT_TRUE(watcher.answerTo(1, 10s));
  std::vector<std::string> seen;
  std::uint64_t generation = 0;
  served.control->status(&generation);
  while (served.run.clock.monotonicMs() < 6000) {
    served.tick();
    std::uint64_t now = 0;
    served.control->status(&now);
    if (now == generation) continue;
    generation = now;
    // Each change reaches the watcher before the next tick. Events sent for earlier changes may
    // still be on their way, so the watcher reads on until it has the status published now.
    const auto published = served.control->status();
    for (;;) {
      const auto event = watcher.receive(10s);
      ASSERT_TRUE(event) << watcher.error();
      if ((*event)["event"] != "status") continue;
      const std::string line = (*event)["status"]["lines"][0]["status"];
      if (seen.empty() || seen.back() != line) seen.push_back(line);
      if (parvolin::control::statusFromJson((*event)["status"]) == published) break;
    }
  }
  // Ringing with the caller's number, answered, recorded, over.
  const std::vector<std::string> wanted = {
      " Port:  1          Caller #", " Port:  1          Answering", " Port:  1          Recording",
      " Port:  1         Answered "};
  std::size_t at = 0;
  for (const std::string& line : seen) {
    if (at < wanted.size() && line == wanted[at]) ++at;
  }
  EXPECT_EQ(at, wanted.size()) << ::testing::PrintToString(seen);
}

TEST(RecorderControl, AnEditThroughTheSocketIsTheFileManagersEdit) {
  ServedRun socketRun(kThreeCalls);
  test::RecorderRun managerRun(kThreeCalls);
  managerRun.open();
  socketRun.tickUntil(16);
  managerRun.tickUntil(16);
  ASSERT_EQ(test::readFile(socketRun.run.recorder->listPath()),
            test::readFile(managerRun.recorder->listPath()));

  auto client = socketRun.connect();
  auto answer = socketRun.askWhileTicking(
      client, {{"cmd", "list-edit"}, {"id", 1}, {"op", "edit"}, {"item", 2}, {"text", "boss"}});
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["applied"], true) << answer->dump();
  answer = socketRun.askWhileTicking(
      client, {{"cmd", "list-edit"}, {"id", 2}, {"op", "delete"}, {"item", 1}});
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["applied"], true) << answer->dump();
  answer = socketRun.askWhileTicking(
      client, {{"cmd", "list-edit"}, {"id", 3}, {"op", "delete"}, {"item", 9}});
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["error"]["code"], "no-item");

  // The same through the file manager, handed to the recorder as the window hands it.
  Recorder& recorder = *managerRun.recorder;
  logview::EngineListEdits edits(
      [&recorder](engine::PendingListEdit edit, engine::Engine::ListEditDone done) {
        recorder.requestListEdit(std::move(edit), std::move(done));
      });
  const auto files = logview::ListFiles::forList(recorder.listPath());
  test::ScriptedPrompt yes;
  yes.answers = {true, true, true};
  logview::FileManagerSession(files, edits, yes).editItem(2, [](const auto&) {
    return std::optional<std::string>("boss");
  });
  managerRun.tickUntil(managerRun.clock.monotonicMs() / 1000.0 + 0.5);
  logview::FileManagerSession(files, edits, yes).deleteItem(1);
  managerRun.tickUntil(managerRun.clock.monotonicMs() / 1000.0 + 0.5);

  const std::string viaSocket = test::readFile(socketRun.run.recorder->listPath());
  EXPECT_EQ(viaSocket, test::readFile(recorder.listPath()));
  EXPECT_NE(viaSocket.find("boss"), std::string::npos);
}

TEST(RecorderControl, GarbageAndAClientThatNeverReadsLeaveEveryTickOnTime) {
  // The same run without clients ticks this often.
  int undisturbedTicks = 0;
  {
    ServedRun quiet(kThreeCalls);
    for (; quiet.run.clock.monotonicMs() < 16000; ++undisturbedTicks) quiet.tick();
  }
  ServedRun served(kThreeCalls);
  auto deaf = served.connect();
  auto noisy = served.connect();
  std::string junk;
  for (int i = 0; i < 1000; ++i) {
    junk += i % 3 == 0 ? std::string("{\"cmd\":\"status\"") : i % 3 == 1 ? "\x01\x02garbage" : "[]";
    junk += '\n';
  }
  const std::string status = parvolin::control::encodeLine({{"cmd", "watch"}}) +
                             parvolin::control::encodeLine({{"cmd", "status"}});
  std::chrono::steady_clock::duration longest{};
  int ticks = 0;
  std::size_t junkSent = 0;
  while (served.run.clock.monotonicMs() < 16000) {
    // Both clients keep sending while the recorder ticks; neither reads an answer.
    for (int i = 0; i < 3; ++i) {
      ::send(deaf.fd(), status.data(), status.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    if (junkSent < junk.size()) {
      const ssize_t n =
          ::send(noisy.fd(), junk.data() + junkSent,
                 std::min<std::size_t>(512, junk.size() - junkSent), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) junkSent += std::size_t(n);
    }
    const auto start = std::chrono::steady_clock::now();
    served.tick();
    longest = std::max(longest, std::chrono::steady_clock::now() - start);
    ++ticks;
  }
  // Every period had its tick, and none waited for a client (a blocked tick would take the
  // client's whole patience, not milliseconds).
  EXPECT_EQ(ticks, undisturbedTicks);
  EXPECT_LT(longest, 2s);
  EXPECT_EQ(served.run.recorder->fields().capacity().itemsText.substr(0, 16), "Logged Items: 3 ");
  EXPECT_EQ(junkSent, junk.size());
  for (int i = 0; i < 500 && served.control->server().counters().badMessages < 1000; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(served.control->server().counters().badMessages, 1000u);
  // The deaf client's answers fill its socket, then its queue: the ones after are dropped. On a
  // quiet machine the run above may end before that; more requests get it there.
  for (int i = 0; i < 5000 && served.control->server().counters().dropped == 0; ++i) {
    ::send(deaf.fd(), status.data(), status.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    served.tick();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_GT(served.control->server().counters().dropped, 0u);
  // And the socket still serves a client that reads.
  auto reader = served.connect();
  EXPECT_WORKED(reader.send({{"cmd", "status"}, {"id", 5}}));
  EXPECT_TRUE(reader.answerTo(5, 10s));
}

TEST(RecorderControl, EditsNoTickWillApplyAreCancelledWhenTheRecorderGoes) {
  ServedRun served(kThreeCalls);
  served.tickUntil(16);
  std::optional<engine::ListEditResult> told;
  served.control->requestListEdit({"x", "y", false},
                                  [&](const engine::ListEditResult& result) { told = result; });
  served.control.reset();
  ASSERT_TRUE(told);
  EXPECT_FALSE(told->applied);
  EXPECT_EQ(told->error, std::make_error_code(std::errc::operation_canceled));
}

TEST(RecorderControl, NoRuntimeFolderNoSocket) {
  test::RecorderRun run(kThreeCalls);
  run.open();
  ::unsetenv("RUNTIME_DIRECTORY");
  ::unsetenv("XDG_RUNTIME_DIR");
  RecorderControl control(*run.recorder, run.clock);
  EXPECT_WORKED(control.listen());
  EXPECT_FALSE(control.server().running());
  EXPECT_FALSE(parvolin::control::socketFromLock(run.rec()));
}

}  // namespace
}  // namespace parvolin::app
