// The built lvsvr: what it needs before it serves, its start by the recorder,
// and a supervisor's edits and deletes carried out by a running headless
// recorder on emulated units.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "control/socket_path.h"
#include "e2e/headless_recorder.h"
#include "support/http_client.h"
#include "web/state_folder.h"
#include "web/users.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using parvolin::test::HttpReply;
using parvolin::test::WebClient;

inline const fs::path kLvsvr = fs::path(PARVOLIN_BINARY_DIR) / "programs" / "lvsvr";
constexpr const char* kPassword = "tidy-lantern-42";

class Lvsvr : public HeadlessRecorder {
 protected:
  std::map<std::string, std::string> runEnv() const {
    auto all = env();
    all["XDG_RUNTIME_DIR"] = runtime().string();
    all["RUNTIME_DIRECTORY"] = "";
    all["XDG_STATE_HOME"] = (home() / "state").string();
    return all;
  }
  fs::path runtime() const { return root_ / "runtime"; }
  fs::path state() const { return root_ / "web-state"; }
  fs::path config() const { return work() / "p.conf"; }
  void addUser(const std::string& name, web::Role role) {
    web::UserStore users(state() / web::kUsersFileName, web::HashCost::cheapest());
    ASSERT_FALSE(web::makeStateFolderProblem(state()));
    ASSERT_FALSE(users.loadProblem());
    ASSERT_FALSE(users.addProblem(name, role, kPassword));
  }
  std::unique_ptr<ProgramRun> startServer(const fs::path& folder,
                                          const std::string& listen = "127.0.0.1:0") {
    return std::make_unique<ProgramRun>(
        kLvsvr,
        std::vector<std::string>{"--folder", folder.string(), "--listen", listen, "--state",
                                 state().string(), "--config", config().string()},
        runEnv(), work(), root_ / "lvsvr-out.txt", root_ / "lvsvr-err.txt");
  }
  // The port the server says it serves on; 0 when it does not say so in time.
  static std::uint16_t portOf(ProgramRun& server) {
    std::uint16_t port = 0;
    waitUntil(
        [&] {
          std::smatch found;
          const std::string out = server.output();
          if (!std::regex_search(out, found, std::regex(R"(http://127\.0\.0\.1:(\d+)/)"))) {
            return false;
          }
          port = static_cast<std::uint16_t>(std::stoi(found[1]));
          return true;
        },
        20s);
    return port;
  }
  static nlohmann::json json(const HttpReply& reply) {
    return nlohmann::json::parse(reply.body, nullptr, false);
  }
};

TEST_F(Lvsvr, RefusesToStartWithoutAUserAndSaysHowToAddOne) {
  fs::create_directories(work() / "rec");
  ProgramRun server(kLvsvr,
                    {"--folder", (work() / "rec").string(), "--state", state().string(), "--config",
                     config().string()},
                    runEnv(), work(), root_ / "out.txt", root_ / "err.txt");
  EXPECT_EQ(server.wait(), 1);
  EXPECT_NE(server.errors().find("pvtool web-user add NAME --role admin"), std::string::npos)
      << server.errors();
  // The published default in the settings is no way in either.
  test::writeFile(config(), "[Parvolin]\nLvUsername=ZORUZIVA\nLvPassword=ZORUZIVA\n");
  ProgramRun again(kLvsvr,
                   {"--folder", (work() / "rec").string(), "--state", state().string(), "--config",
                    config().string()},
                   runEnv(), work(), root_ / "out.txt", root_ / "err.txt");
  EXPECT_EQ(again.wait(), 1);
  EXPECT_NE(again.errors().find("pvtool web-user add"), std::string::npos) << again.errors();
  ProgramRun bad(kLvsvr, {"--folder", "rec", "--listen", "127.0.0.1"}, runEnv(), work(),
                 root_ / "out.txt", root_ / "err.txt");
  EXPECT_EQ(bad.wait(), 2);
}

TEST_F(Lvsvr, TakesOverTheSettingsPasswordServesAndStopsOnSigterm) {
  fs::create_directories(work() / "rec");
  test::writeFile(config(), "[Parvolin]\nLvUsername=boss\nLvPassword=a long secret 7\n");
  auto server = startServer(work() / "rec");
  const std::uint16_t port = portOf(*server);
  ASSERT_NE(port, 0) << server->errors();
  WebClient browser(port);
  EXPECT_EQ(browser.login("boss", "a long secret 7").status, 200);
  EXPECT_EQ(json(browser.get("/api/session"))["role"], "admin");
  EXPECT_EQ(test::readFile(config()).find("a long secret 7"), std::string::npos)
      << "blanked in the settings";
  server->signal(SIGTERM);
  EXPECT_EQ(server->wait(), 0) << server->errors();
}

TEST_F(Lvsvr, WarnsWhenItServesTheNetworkWithoutTls) {
  fs::create_directories(work() / "rec");
  addUser("ada", web::Role::kAdmin);
  auto server = startServer(work() / "rec", "0.0.0.0:0");
  ASSERT_TRUE(server->waitForOutput("serving", 20s)) << server->errors();
  EXPECT_NE(server->errors().find("warning: serving 0.0.0.0 without TLS"), std::string::npos)
      << server->errors();
}

TEST_F(Lvsvr, TheRecorderStartsItWhenAllowedAndItEndsWithTheRecorder) {
  fs::create_directories(runtime());
  ::chmod(runtime().c_str(), 0700);
  // No user yet: the server the recorder starts says what to do, on the
  // recorder's errors.
  test::writeFile(config(), "[Parvolin]\nbLvSvrAllowed=1\n");
  const auto scenario = writeScenario("idle.scn",
                                      "unit PV0001\n0.5 1/1 ring\n+0.3 1/1 answer\n"
                                      "+0 1/1 talk 60 silence\n+60 1/1 callend 1\n");
  ProgramRun recorder(kParvolin,
                      {"--headless", "--simulate=" + scenario.string(), "--config",
                       config().string(), "--folder", "rec"},
                      runEnv(), work(), root_ / "out.txt", root_ / "err.txt");
  ASSERT_TRUE(waitUntil(
      [&] { return recorder.errors().find("pvtool web-user add") != std::string::npos; }, 30s))
      << recorder.errors();
  EXPECT_NE(recorder.errors().find("--state"), std::string::npos);
  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.wait(), 0) << recorder.errors();
}

// Two calls in the list and one that records on; the supervisor's changes go
// through the recorder, which applies them on its tick, and the list the pages
// read changes.
TEST_F(Lvsvr, SupervisorsEditAndDeleteThroughTheRunningRecorder) {
  fs::create_directories(runtime());
  ::chmod(runtime().c_str(), 0700);
  addUser("sam", web::Role::kSupervisor);
  addUser("lee", web::Role::kListener);
  const auto scenario = writeScenario("calls.scn",
                                      "unit PV0001\n"
                                      "0.5 1/1 ring\n+0.2 1/1 callerid A 5551234\n"
                                      "+0.3 1/1 answer\n+0 1/1 talk 1 speech:1\n"
                                      "+1 1/1 callend 5551234\n"
                                      "0.5 1/2 dialout 110\n+0.5 1/2 talk 1 speech:2\n"
                                      "+1 1/2 calloutend 110\n"
                                      "3 1/3 ring\n+0.3 1/3 answer\n+0 1/3 talk 120 speech:3\n"
                                      "+120 1/3 callend 777\n");
  ProgramRun recorder(kParvolin,
                      {"--headless", "--simulate=" + scenario.string(), "--config",
                       config().string(), "--folder", "rec"},
                      runEnv(), work(), root_ / "out.txt", root_ / "err.txt");
  const fs::path folder = work() / "rec";
  ASSERT_TRUE(waitUntil([&] { return control::socketFromLock(folder).has_value(); }, 30s))
      << recorder.errors();
  auto server = startServer(folder);
  const std::uint16_t port = portOf(*server);
  ASSERT_NE(port, 0) << server->errors();
  WebClient supervisor(port);
  ASSERT_EQ(supervisor.login("sam", kPassword).status, 200);

  nlohmann::json calls;
  ASSERT_TRUE(waitUntil(
      [&] {
        calls = json(supervisor.get("/api/calls"));
        return calls.is_object() && calls["total"] == 2;
      },
      30s))
      << calls.dump();
  nlohmann::json lines;
  ASSERT_TRUE(waitUntil(
      [&] {
        lines = json(supervisor.get("/api/lines"));
        return lines["recorder"] == "running" && lines["lines"].size() == 16 &&
               lines["lines"][2]["inCall"] == true;
      },
      30s))
      << lines.dump();
  EXPECT_EQ(lines["lines"][0]["served"], true);
  EXPECT_EQ(lines["capacity"]["calls"], 2);

  const std::string edited = calls["calls"][0]["id"];
  const std::string deleted = calls["calls"][1]["id"];
  WebClient listener(port);
  ASSERT_EQ(listener.login("lee", kPassword).status, 200);
  EXPECT_EQ(listener.send("PUT", "/api/calls/" + edited + "/text", R"({"text":"boss"})").status,
            403);
  const HttpReply edit =
      supervisor.send("PUT", "/api/calls/" + edited + "/text", R"({"text":"boss"})");
  ASSERT_EQ(edit.status, 200) << edit.body;
  EXPECT_EQ(json(edit)["call"]["text"], "boss");
  EXPECT_EQ(json(supervisor.get("/api/calls?q=boss"))["total"], 1);
  const HttpReply gone = supervisor.send("DELETE", "/api/calls/" + deleted, "");
  ASSERT_EQ(gone.status, 200) << gone.body;
  calls = json(supervisor.get("/api/calls"));
  EXPECT_EQ(calls["total"], 1) << calls.dump();
  EXPECT_EQ(supervisor.get("/api/calls/" + deleted).status, 404);
  // The page's copy is stale now: the same delete again names no row any more.
  EXPECT_EQ(supervisor.send("DELETE", "/api/calls/" + deleted, "").status, 404);

  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.wait(), 0) << recorder.errors();
  ASSERT_TRUE(
      waitUntil([&] { return json(supervisor.get("/api/lines"))["recorder"] == "stopped"; }, 10s));
  EXPECT_EQ(supervisor.send("PUT", "/api/calls/" + edited + "/text", R"({"text":"x"})").status,
            503);
  server->signal(SIGTERM);
  EXPECT_EQ(server->wait(), 0) << server->errors();
}

}  // namespace
}  // namespace parvolin::e2e
