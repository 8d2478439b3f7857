#pragma once

// lvsvr's server, in the test's process, on a port of its own (port 0: any free
// one) over a folder made by the test: three users of the three roles, a list
// of calls with their recordings, and edits that go to a scripted stand-in for
// the recorder.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/recording_files.h"
#include "logview/list_builder.h"
#include "support/http_client.h"
#include "support/test_files.h"
#include "web/audit_log.h"
#include "web/call_list.h"
#include "web/login_throttle.h"
#include "web/sessions.h"
#include "web/state_folder.h"
#include "web/users.h"
#include "webserver/http_server.h"
#include "webserver/live_lines.h"
#include "webserver/recorder_edits.h"
#include "webserver/web_app.h"

namespace parvolin::webserver::test {

using namespace std::chrono_literals;
using parvolin::test::HttpReply;
using parvolin::test::WebClient;

inline constexpr const char* kPassword = "tidy-lantern-42";

// Polls `condition` until it holds, for at most `timeout`: whether it held.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The edits the routes hand over, answered with `next`.
class ScriptedEdits final : public RecorderEdits {
 public:
  struct Asked {
    std::string op;
    int item;
    std::string fingerprint;
    std::string text;
  };
  EditOutcome editText(int item, std::string_view fingerprint, std::string_view text) override {
    asked.push_back({"edit", item, std::string(fingerprint), std::string(text)});
    return next;
  }
  EditOutcome remove(int item, std::string_view fingerprint) override {
    asked.push_back({"delete", item, std::string(fingerprint), ""});
    return next;
  }
  EditOutcome next{EditOutcome::Kind::kApplied, ""};
  std::vector<Asked> asked;
};

class WebServerRig : public ::testing::Test {
 protected:
  WebServerRig()
      : folder_(root_ / "rec"),
        state_(root_ / "state"),
        users_(state_ / web::kUsersFileName, web::HashCost::cheapest()),
        sessions_(std::chrono::minutes(30), [this] { return now(); }),
        throttle_([this] { return now(); }),
        audit_(state_ / web::kAuditFileName),
        calls_(folder_ / "ZEruTestNew.htm"),
        lines_(folder_, 100ms) {
    std::filesystem::create_directories(folder_);
    std::filesystem::create_directories(state_);
  }

  void SetUp() override {
    ASSERT_FALSE(users_.addProblem("ada", web::Role::kAdmin, kPassword));
    ASSERT_FALSE(users_.addProblem("sam", web::Role::kSupervisor, kPassword));
    ASSERT_FALSE(users_.addProblem("lee", web::Role::kListener, kPassword));
    writeList({{3, 1, 30, "boss"}, {2, 2, 40, "XSSMARK"}, {1, 3, 12, "bank"}});
    startServer();
  }

  void startServer(ServerLimits limits = {}) {
    server_.reset();
    app_ = std::make_unique<WebApp>(
        WebAppSetup{folder_, 0},
        WebAppParts{users_, sessions_, throttle_, audit_, calls_, lines_, edits_});
    ServerOptions options;
    options.address = "127.0.0.1";
    options.port = 0;
    options.limits = limits;
    std::string why;
    server_ = HttpServer::start(
        options, [this](const Request& request) { return app_->handle(request); }, why);
    ASSERT_TRUE(server_) << why;
  }

  // The list of `calls` (newest first), each with an LV3 recording of `seconds`
  // of noise; the caller text "XSSMARK" becomes markup.
  void writeList(const std::vector<logview::test::Call>& calls) {
    std::string list = logview::test::listOf(calls);
    const std::string mark = "XSSMARK";
    if (const auto at = list.find(mark); at != std::string::npos) {
      list.replace(at, mark.size(), kMarkup);
    }
    parvolin::test::writeFile(folder_ / "ZEruTestNew.htm", list);
    std::mt19937 random(7);
    for (const auto& call : calls) {
      std::string bytes(static_cast<std::size_t>(std::max(call.seconds, 1)) * 8000 / 512 * 512,
                        '\0');
      for (char& byte : bytes) byte = static_cast<char>(random());
      parvolin::test::writeFile(folder_ / recordingOf(call), bytes);
    }
  }
  static std::string recordingOf(const logview::test::Call& call) {
    return engine::recordingFileName(call.start + std::uint32_t(call.item), call.port - 1, 3,
                                     false);
  }

  std::uint16_t port() const { return server_->port(); }
  WebClient client(const std::string& from = "127.0.0.1") { return WebClient(port(), from); }
  WebClient loggedIn(const std::string& name) {
    WebClient c = client();
    const HttpReply reply = c.login(name, kPassword);
    EXPECT_EQ(reply.status, 200) << reply.body;
    return c;
  }
  HttpReply raw(std::string_view request) { return parvolin::test::exchange(port(), request); }
  static nlohmann::json json(const HttpReply& reply) {
    return nlohmann::json::parse(reply.body, nullptr, false);
  }
  // The id the list gives the call of `item`.
  std::string idOf(int item) {
    web::CallQuery all;
    all.pageSize = web::CallQuery::kMaxPageSize;
    for (const web::CallRow& row : calls_.query(all).calls) {
      if (row.item == item) return row.id;
    }
    ADD_FAILURE() << "no item " << item;
    return "";
  }
  std::vector<web::AuditEntry> auditEntries() {
    std::string problem;
    return web::readAuditLog(audit_.file(), problem);
  }

  std::chrono::steady_clock::time_point now() const {
    return std::chrono::steady_clock::now() + std::chrono::seconds(clockShift_.load());
  }

  static constexpr const char* kMarkup = "<img src=x onerror=alert(1)>";

  parvolin::test::TempFolder root_;
  std::filesystem::path folder_, state_;
  std::atomic<long> clockShift_{0};  // seconds added to the sessions' and throttle's clock
  web::UserStore users_;
  web::Sessions sessions_;
  web::LoginThrottle throttle_;
  web::AuditLog audit_;
  web::CallList calls_;
  LiveLines lines_;
  ScriptedEdits edits_;
  std::unique_ptr<WebApp> app_;
  std::unique_ptr<HttpServer> server_;
};

}  // namespace parvolin::webserver::test
