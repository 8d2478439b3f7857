// Attacks on lvsvr, each against the real server: paths that try to leave the
// folder, requests without a (valid) session or with another role, changes
// without the CSRF token, password guessing, slow and oversized requests,
// markup in a caller number.

#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "webserver/web_server_rig.h"

namespace parvolin::webserver::test {
namespace {

using WebAttack = WebServerRig;
using parvolin::test::requestText;

constexpr const char* kSecret = "SECRET-OUTSIDE-THE-FOLDER";

std::string target(const WebApp::RouteInfo& route, const std::string& id) {
  std::string path = route.pattern;
  for (const char* param : {":id", ":name"}) {
    if (const auto at = path.find(param); at != std::string::npos) {
      path.replace(at, std::string(param).size(), param == std::string(":id") ? id : "lee");
    }
  }
  if (path == "/assets/:name") path = "/assets/site.css";
  return path;
}

std::string methodOf(Method method) {
  switch (method) {
    case Method::kPost:
      return "POST";
    case Method::kPut:
      return "PUT";
    case Method::kDelete:
      return "DELETE";
    default:
      return "GET";
  }
}

TEST_F(WebAttack, EveryRouteButTheOpenOnesNeedsALiveSession) {
  const std::string id = idOf(2);
  WebClient expired = loggedIn("ada");
  WebClient loggedOut = loggedIn("ada");
  ASSERT_EQ(loggedOut.send("POST", "/api/logout", "").status, 204);
  WebClient forged = client();
  forged.cookie = "pvsession=" + std::string(64, 'a');
  forged.csrf = std::string(64, 'b');
  WebClient none = client();
  clockShift_ = 31 * 60;  // idle longer than the 30 minutes
  int checked = 0;
  for (const auto& route : app_->routes()) {
    if (route.access == Access::kAnyone) {
      EXPECT_TRUE(route.pattern == "/" || route.pattern == "/login" ||
                  route.pattern == "/assets/:name" || route.pattern == "/api/login")
          << route.pattern << " is open to anyone";
      continue;
    }
    for (WebClient* who : {&none, &forged, &expired, &loggedOut}) {
      const std::string path = target(route, id);
      const std::string method = methodOf(route.method);
      const HttpReply reply = method == "GET"
                                  ? who->get(path)
                                  : who->send(method, path, method == "DELETE" ? "" : "{}");
      const bool page = !route.pattern.starts_with("/api/");
      EXPECT_EQ(reply.status, page ? 303 : 401) << method << " " << path << " " << who->cookie;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 4 * 17);
  EXPECT_TRUE(edits_.asked.empty());
  EXPECT_EQ(users_.users().size(), 3u);
}

TEST_F(WebAttack, EachRoleIsHeldToItsRoutes) {
  const std::string id = idOf(2);
  struct Who {
    std::string name;
    Access has;
  };
  int refused = 0;
  for (const Who& who : {Who{"lee", Access::kListener}, Who{"sam", Access::kSupervisor}}) {
    WebClient browser = loggedIn(who.name);
    for (const auto& route : app_->routes()) {
      if (static_cast<int>(route.access) <= static_cast<int>(who.has)) continue;
      const std::string path = target(route, id);
      const std::string method = methodOf(route.method);
      const std::string body = route.pattern == "/api/users"
                                   ? R"({"name":"eve","role":"admin","password":"long enough 1"})"
                                   : R"({"role":"admin","text":"x"})";
      const HttpReply reply = method == "GET"
                                  ? browser.get(path)
                                  : browser.send(method, path, method == "DELETE" ? "" : body);
      if (route.pattern == "/admin") {
        EXPECT_EQ(reply.status, 303) << who.name << " is sent to the calls";
        EXPECT_EQ(reply.header("location"), "/calls");
      } else {
        EXPECT_EQ(reply.status, 403) << who.name << " " << method << " " << path;
      }
      ++refused;
    }
  }
  EXPECT_EQ(refused, 8 + 6) << "listener: 2 supervisor and 6 admin routes; supervisor: 6";
  EXPECT_TRUE(edits_.asked.empty());
  EXPECT_FALSE(users_.user("eve"));
  EXPECT_EQ(users_.user("lee")->role, web::Role::kListener);
}

TEST_F(WebAttack, ChangesWithoutTheSessionsCsrfTokenAreRefused) {
  const std::string id = idOf(2);
  WebClient admin = loggedIn("ada");
  const std::string token = admin.csrf;
  int refused = 0;
  for (const std::string& wrong : {std::string(), std::string(64, '0'), token.substr(1)}) {
    admin.csrf = wrong;
    for (const auto& route : app_->routes()) {
      if (route.method == Method::kGet || route.access == Access::kAnyone) continue;
      const std::string method = methodOf(route.method);
      const HttpReply reply = admin.send(
          method, target(route, id),
          method == "DELETE" ? "" : R"({"name":"eve","role":"admin","password":"long enough 1"})");
      EXPECT_EQ(reply.status, 403) << method << " " << route.pattern << " token '" << wrong << "'";
      ++refused;
    }
  }
  EXPECT_EQ(refused, 3 * 6);
  EXPECT_TRUE(edits_.asked.empty());
  EXPECT_FALSE(users_.user("eve"));
  admin.csrf = token;
  EXPECT_EQ(admin.get("/api/session").status, 200) << "the session itself still stands";
  // A log-in from another site's page (its Origin) is refused before the
  // password is looked at.
  const HttpReply foreign =
      raw(requestText("POST", "/api/login",
                      {{"Content-Type", "application/json"}, {"Origin", "http://evil.example"}},
                      R"({"name":"ada","password":")" + std::string(kPassword) + "\"}"));
  EXPECT_EQ(foreign.status, 403);
}

TEST_F(WebAttack, NoPathReachesAFileOutsideTheListsRecordings) {
  parvolin::test::writeFile(root_ / "secret.txt", kSecret);
  parvolin::test::writeFile(folder_ / "secret.txt", kSecret);
  // A recording the list names, swapped for a link to a file outside the
  // folder.
  const logview::test::Call linked{3, 1, 30, "boss"};
  std::filesystem::remove(folder_ / recordingOf(linked));
  std::filesystem::create_symlink(root_ / "secret.txt", folder_ / recordingOf(linked));
  WebClient browser = loggedIn("lee");
  const std::string file = recordingOf({1, 3, 12, "bank"});
  const std::vector<std::string> paths = {
      "/assets/../secret.txt",
      "/assets/%2e%2e%2fsecret.txt",
      "/assets/%2E%2E/%2E%2E/secret.txt",
      "/assets/..%2f..%2fsecret.txt",
      "/assets/%2fetc%2fpasswd",
      "/assets//etc/passwd",
      "/assets/site.css%00.txt",
      "/assets/.%2e",
      "/api/calls/..%2fsecret.txt/audio",
      "/api/calls/%2e%2e%2f%2e%2e%2fsecret.txt/download",
      "/api/calls/secret.txt/audio",
      "/api/calls/secret.txt/download?form=recorded",
      "/api/calls/" + std::string("%2F") + (root_ / "secret.txt").string().substr(1) + "/audio",
      "/api/calls/" + file + "%00/audio",
      "/api/calls/" + idOf(3) + "/audio",
      "/api/calls/" + idOf(3) + "/download?form=recorded",
      "/api/calls/" + idOf(1) + "/download?form=../../secret.txt",
      "/../secret.txt",
      "/%2e%2e/secret.txt",
  };
  for (const std::string& path : paths) {
    const HttpReply reply = browser.get(path);
    EXPECT_TRUE(reply.status == 400 || reply.status == 404) << path << " " << reply.status;
    EXPECT_EQ(reply.body.find(kSecret), std::string::npos) << path;
  }
  // A NUL byte in the request line itself.
  static const char kNulRequest[] =
      "GET /assets/site.css\0/../secret.txt HTTP/1.1\r\nHost: x\r\nConnection: "
      "close\r\n\r\n";
  const HttpReply withNul = raw(std::string_view(kNulRequest, sizeof kNulRequest - 1));
  // The library ends the path at the NUL: what is served, if anything, is the asset before it.
  EXPECT_EQ(withNul.body.find(kSecret), std::string::npos);
  if (withNul.status == 200) {
    EXPECT_EQ(withNul.header("content-type"), "text/css; charset=utf-8");
  }
  // The call whose recording is fine is served.
  EXPECT_EQ(browser.get("/api/calls/" + idOf(1) + "/audio").status, 200);
}

TEST_F(WebAttack, GuessedPasswordsWaitLongerAndLongerPerAddress) {
  WebClient guesser = client();
  std::vector<int> statuses;
  std::string retryAfter;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const HttpReply reply = guesser.login("ada", "guess number " + std::to_string(attempt));
    statuses.push_back(reply.status);
    if (reply.status == 429) {
      retryAfter = reply.header("retry-after");
      EXPECT_EQ(json(reply)["retryAfter"].dump(), retryAfter);
    }
  }
  EXPECT_EQ(std::count(statuses.begin(), statuses.begin() + 5, 401), 5);
  EXPECT_EQ(std::count(statuses.begin() + 5, statuses.end(), 429), 15);
  ASSERT_FALSE(retryAfter.empty());
  EXPECT_EQ(guesser.login("ada", kPassword).status, 429) << "the right password waits too";
  EXPECT_EQ(client("127.0.0.2").login("lee", kPassword).status, 200) << "others are not slowed";
  clockShift_ = std::stol(retryAfter);
  EXPECT_EQ(guesser.login("ada", kPassword).status, 200);
  int failed = 0;
  for (const auto& entry : auditEntries()) failed += entry.action == "login-failed";
  EXPECT_EQ(failed, 21);
}

TEST_F(WebAttack, ThePublishedDefaultPasswordNeverLogsIn) {
  // Even a users file that holds its hash, written by hand, lets nobody in with
  // it.
  char hash[crypto_pwhash_STRBYTES];
  ASSERT_EQ(crypto_pwhash_str(hash, "ZORUZIVA", 8, crypto_pwhash_OPSLIMIT_MIN,
                              crypto_pwhash_MEMLIMIT_MIN),
            0);
  std::ofstream(users_.file(), std::ios::app) << "ZORUZIVA:admin:" << hash << "\n";
  users_.reloadIfChanged();
  ASSERT_TRUE(users_.user("ZORUZIVA"));
  for (const char* password : {"ZORUZIVA", "zoruziva"}) {
    EXPECT_EQ(client().login("ZORUZIVA", password).status, 401) << password;
  }
}

TEST_F(WebAttack, OversizedHeadersAndBodiesAreRefused) {
  const std::string big(64 * 1024, 'a');
  const HttpReply header = raw(requestText("GET", "/api/session", {{"X-Big", big}}));
  EXPECT_TRUE(header.status == 431 || header.status == 413 || header.status == 0) << header.status;
  const HttpReply url = raw(requestText("GET", "/api/calls?q=" + big));
  EXPECT_TRUE(url.status == 414 || url.status == 413 || url.status == 431 || url.status == 0)
      << url.status;
  WebClient admin = loggedIn("ada");
  const std::string body =
      R"({"name":"eve","role":"admin","password":")" + std::string(17 * 1024, 'p') + "\"}";
  EXPECT_EQ(admin.send("POST", "/api/users", body).status, 413);
  std::string chunked =
      requestText("POST", "/api/login",
                  {{"Content-Type", "application/json"}, {"Transfer-Encoding", "chunked"}});
  for (int i = 0; i < 20; ++i) chunked += "400\r\n" + std::string(1024, ' ') + "\r\n";
  chunked += "0\r\n\r\n";
  const HttpReply streamed = raw(chunked);
  EXPECT_TRUE(streamed.status == 413 || streamed.status == 0) << streamed.status;
  EXPECT_FALSE(users_.user("eve"));
  EXPECT_EQ(admin.get("/api/session").status, 200) << "the server still serves";
}

TEST_F(WebAttack, MarkupInACallerNumberComesBackAsJsonText) {
  WebClient browser = loggedIn("lee");
  const HttpReply reply = browser.get("/api/calls?q=onerror");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.header("content-type"), "application/json; charset=utf-8");
  EXPECT_EQ(reply.header("content-security-policy"), std::string(kContentSecurityPolicy));
  EXPECT_EQ(reply.header("x-content-type-options"), "nosniff");
  const auto calls = json(reply)["calls"];
  ASSERT_EQ(calls.size(), 1u) << reply.body;
  EXPECT_NE(calls[0]["text"].get<std::string>().find("onerror"), std::string::npos);
}

TEST_F(WebAttack, SlowConnectionsHeldOpenDoNotKeepAClientFromItsPage) {
  WebClient browser = loggedIn("lee");
  // 200 connections from four other addresses, each with half a request line,
  // kept quiet.
  std::vector<int> slow;
  for (int i = 0; i < 200; ++i) {
    const int fd = parvolin::test::connectTo(port(), "127.0.0." + std::to_string(2 + i % 4));
    ASSERT_GE(fd, 0) << i;
    ASSERT_EQ(::send(fd, "GET /api/calls HTTP/1.1\r\nHost: x\r\nX-Slow: ", 41, MSG_NOSIGNAL), 41);
    slow.push_back(fd);
  }
  std::this_thread::sleep_for(200ms);
  const auto before = std::chrono::steady_clock::now();
  const HttpReply page = browser.get("/api/calls");
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_EQ(page.status, 200);
  EXPECT_LT(took, 1s);
  std::printf(
      "[ figure ] a page beside 200 slow connections: %lld ms\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  // One address may not take more than its share.
  std::vector<int> greedy;
  int refused = 0;
  for (int i = 0; i < 80; ++i) {
    const int fd = parvolin::test::connectTo(port(), "127.0.0.9");
    if (fd < 0) continue;
    greedy.push_back(fd);
  }
  for (const int fd : greedy) {
    char byte;
    timeval wait{0, 50000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (::recv(fd, &byte, 1, 0) == 0) ++refused;  // closed by the server at once
  }
  EXPECT_GE(refused, 80 - 64) << "at most 64 connections from one address";
  for (const int fd : slow) ::close(fd);
  for (const int fd : greedy) ::close(fd);
}

}  // namespace
}  // namespace parvolin::webserver::test
