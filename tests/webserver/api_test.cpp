// lvsvr's API against the real server on a port of its own: log-in, the calls,
// their audio with ranges, edits handed to the recorder, users, and the headers
// every answer carries.

#include <algorithm>

#include "codec/lv_conversion.h"
#include "webserver/web_server_rig.h"

namespace parvolin::webserver::test {
namespace {

using WebApi = WebServerRig;

void expectSecurityHeaders(const HttpReply& reply, const std::string& what) {
  EXPECT_EQ(reply.header("content-security-policy"), std::string(kContentSecurityPolicy)) << what;
  EXPECT_EQ(reply.header("x-content-type-options"), "nosniff") << what;
  EXPECT_EQ(reply.header("referrer-policy"), "no-referrer") << what;
  EXPECT_FALSE(reply.header("cache-control").empty()) << what;
}

TEST_F(WebApi, LogInSessionAndLogOut) {
  WebClient browser = client();
  EXPECT_EQ(browser.login("lee", "not the password").status, 401);
  EXPECT_TRUE(browser.cookie.empty());
  const HttpReply in = browser.login("lee", kPassword);
  ASSERT_EQ(in.status, 200) << in.body;
  const std::string cookie = in.header("set-cookie");
  EXPECT_TRUE(cookie.starts_with("pvsession=")) << cookie;
  for (const char* attribute : {"HttpOnly", "SameSite=Strict", "Path=/"}) {
    EXPECT_NE(cookie.find(attribute), std::string::npos) << cookie;
  }
  EXPECT_EQ(cookie.find("Secure"), std::string::npos) << "no TLS here: " << cookie;
  EXPECT_EQ(json(in)["role"], "listener");
  EXPECT_EQ(browser.cookie.size(), std::string("pvsession=").size() + 64);

  const HttpReply session = browser.get("/api/session");
  ASSERT_EQ(session.status, 200);
  EXPECT_EQ(json(session)["name"], "lee");
  EXPECT_EQ(json(session)["csrf"], browser.csrf);
  EXPECT_EQ(json(session)["idleSeconds"], 1800);

  EXPECT_EQ(browser.send("POST", "/api/logout", "").status, 204);
  EXPECT_EQ(browser.get("/api/session").status, 401) << "ended on the server";
  EXPECT_EQ(browser.get("/calls").status, 303);

  std::vector<std::string> actions;
  for (const auto& entry : auditEntries()) {
    actions.push_back(entry.action + " " + entry.user + " " + entry.address);
  }
  EXPECT_EQ(actions, (std::vector<std::string>{"login-failed  127.0.0.1", "login lee 127.0.0.1",
                                               "logout lee 127.0.0.1"}));
}

TEST_F(WebApi, PagesRedirectAndEveryAnswerCarriesTheSecurityHeaders) {
  const HttpReply root = raw(parvolin::test::requestText("GET", "/"));
  EXPECT_EQ(root.status, 303);
  EXPECT_EQ(root.header("location"), "/calls");
  for (const char* page : {"/calls", "/lines", "/admin"}) {
    const HttpReply reply = raw(parvolin::test::requestText("GET", page));
    EXPECT_EQ(reply.status, 303) << page;
    EXPECT_EQ(reply.header("location"), "/login") << page;
    expectSecurityHeaders(reply, page);
  }
  const HttpReply css = raw(parvolin::test::requestText("GET", "/assets/site.css"));
  EXPECT_EQ(css.status, 200);
  EXPECT_EQ(css.header("content-type"), "text/css; charset=utf-8");
  EXPECT_NE(css.header("cache-control").find("max-age"), std::string::npos);
  expectSecurityHeaders(css, "asset");
  WebClient browser = loggedIn("ada");
  for (const char* target : {"/api/calls", "/api/lines", "/api/users", "/api/nothing"}) {
    const HttpReply reply = browser.get(target);
    expectSecurityHeaders(reply, target);
    EXPECT_EQ(reply.header("cache-control"), "no-store") << target;
    EXPECT_EQ(reply.header("content-type"), "application/json; charset=utf-8") << target;
  }
  EXPECT_EQ(browser.get("/api/nothing").status, 404);
  EXPECT_EQ(browser.send("PUT", "/api/lines", "{}").status, 405);
}

TEST_F(WebApi, CallsArePagedSortedAndSearchedAndTheirQueryIsChecked) {
  WebClient browser = loggedIn("lee");
  const HttpReply all = browser.get("/api/calls");
  ASSERT_EQ(all.status, 200) << all.body;
  EXPECT_EQ(json(all)["total"], 3);
  EXPECT_EQ(json(all)["calls"][0]["item"], 3) << "newest first";
  const auto call = json(all)["calls"][0];
  for (const char* field : {"id", "item", "date", "time", "port", "type", "text", "duration",
                            "seconds", "recorded", "file"}) {
    EXPECT_TRUE(call.contains(field)) << field;
  }
  const HttpReply bank = browser.get("/api/calls?q=BANK&size=10&sort=duration&order=asc");
  ASSERT_EQ(bank.status, 200) << bank.body;
  ASSERT_EQ(json(bank)["calls"].size(), 1u);
  EXPECT_EQ(json(bank)["calls"][0]["item"], 1);
  const HttpReply byPort = browser.get("/api/calls?sort=port&order=asc&page=0&size=2");
  ASSERT_EQ(json(byPort)["calls"].size(), 2u);
  EXPECT_EQ(json(byPort)["calls"][0]["port"], 1);
  EXPECT_EQ(browser.get("/api/calls?from=2007-03-05&to=2007-03-05").status, 200);
  EXPECT_EQ(browser.get("/api/calls/" + idOf(2)).status, 200);
  EXPECT_EQ(browser.get("/api/calls/no-such-call").status, 404);

  for (const char* bad :
       {"sort=name", "order=up", "size=0", "size=201", "page=-1", "page=x", "from=2007-13-01",
        "from=20070305", "to=2007-3-5", "unknown=1", "q=a%00b", "q=%zz", "page=1&page=2"}) {
    const HttpReply reply = browser.get(std::string("/api/calls?") + bad);
    EXPECT_EQ(reply.status, 400) << bad << " " << reply.body;
    EXPECT_TRUE(json(reply).contains("error")) << bad;
  }
}

TEST_F(WebApi, AudioIsTheWavConversionServedWithRanges) {
  const logview::test::Call first{1, 3, 12, "bank"};
  const auto recording = folder_ / recordingOf(first);
  ASSERT_EQ(codec::convertLvFile(recording, 3, root_ / "expected.wav", codec::OutputForm::kWav8, 0)
                .status,
            codec::ConversionStatus::kDone);
  const std::string expected = parvolin::test::readFile(root_ / "expected.wav");
  WebClient browser = loggedIn("lee");
  const std::string id = idOf(1);

  const HttpReply whole = browser.get("/api/calls/" + id + "/audio");
  ASSERT_EQ(whole.status, 200) << whole.body;
  EXPECT_EQ(whole.header("content-type"), "audio/wav");
  EXPECT_EQ(whole.header("accept-ranges"), "bytes");
  EXPECT_TRUE(whole.body == expected) << whole.body.size() << " bytes, not " << expected.size();

  const std::string size = std::to_string(expected.size());
  struct Case {
    std::string range;
    int status;
    std::size_t first, length;
    std::string contentRange;
  };
  const std::size_t n = expected.size();
  const std::vector<Case> cases = {
      {"bytes=0-99", 206, 0, 100, "bytes 0-99/" + size},
      {"bytes=5000-", 206, 5000, n - 5000, "bytes 5000-" + std::to_string(n - 1) + "/" + size},
      {"bytes=-10", 206, n - 10, 10,
       "bytes " + std::to_string(n - 10) + "-" + std::to_string(n - 1) + "/" + size},
      {"bytes=50000-99999999", 206, 50000, n - 50000,
       "bytes 50000-" + std::to_string(n - 1) + "/" + size},
      {"bytes=" + size + "-", 416, 0, 0, "bytes */" + size},
      {"bytes=0-1,5-6", 200, 0, n, ""},  // several ranges: the whole file
      {"lines=0-5", 200, 0, n, ""},
  };
  for (const Case& c : cases) {
    const HttpReply part = browser.get("/api/calls/" + id + "/audio", {{"Range", c.range}});
    EXPECT_EQ(part.status, c.status) << c.range;
    EXPECT_EQ(part.header("content-range"), c.contentRange) << c.range;
    if (c.status != 416) {
      EXPECT_TRUE(part.body == expected.substr(c.first, c.length)) << c.range;
    }
  }

  const HttpReply wav = browser.get("/api/calls/" + id + "/download");
  EXPECT_TRUE(wav.body == expected);
  EXPECT_EQ(wav.header("content-disposition"),
            "attachment; filename=\"" + recordingOf(first).substr(0, 11) + ".wav\"");
  const HttpReply asRecorded = browser.get("/api/calls/" + id + "/download?form=recorded");
  EXPECT_TRUE(asRecorded.body == parvolin::test::readFile(recording));
  EXPECT_EQ(asRecorded.header("content-disposition"),
            "attachment; filename=\"" + recordingOf(first) + "\"");
  EXPECT_EQ(browser.get("/api/calls/" + id + "/download?form=mp3").status, 400);

  int plays = 0, downloads = 0;
  for (const auto& entry : auditEntries()) {
    plays += entry.action == "play" && entry.call == id && entry.user == "lee";
    downloads += entry.action == "download" && entry.call == id;
  }
  EXPECT_EQ(plays, 4) << "each answer from the start: whole, 0-99, and two "
                         "whole for odd ranges";
  EXPECT_EQ(downloads, 2);
}

TEST_F(WebApi, EditsAndDeletesGoToTheRecorderWithTheRowsFingerprint) {
  WebClient supervisor = loggedIn("sam");
  const std::string id = idOf(2);
  const auto row = calls_.find(id);
  ASSERT_TRUE(row);
  const HttpReply edited = supervisor.send("PUT", "/api/calls/" + id + "/text", R"({"text":"x"})");
  EXPECT_EQ(edited.status, 200) << edited.body;
  EXPECT_EQ(json(edited)["applied"], true);
  EXPECT_EQ(json(edited)["call"]["id"], id);
  ASSERT_EQ(edits_.asked.size(), 1u);
  EXPECT_EQ(edits_.asked[0].op, "edit");
  EXPECT_EQ(edits_.asked[0].item, 2);
  EXPECT_EQ(edits_.asked[0].fingerprint, row->fingerprint);
  EXPECT_EQ(edits_.asked[0].text, "x");

  struct Case {
    EditOutcome::Kind kind;
    int status;
  };
  for (const Case c :
       {Case{EditOutcome::Kind::kMoved, 409}, Case{EditOutcome::Kind::kRefused, 400},
        Case{EditOutcome::Kind::kNotRunning, 503}, Case{EditOutcome::Kind::kFailed, 503},
        Case{EditOutcome::Kind::kApplied, 200}}) {
    edits_.next = {c.kind, "said"};
    EXPECT_EQ(supervisor.send("PUT", "/api/calls/" + id + "/text", R"({"text":"y"})").status,
              c.status);
    EXPECT_EQ(supervisor.send("DELETE", "/api/calls/" + id, "").status, c.status);
  }
  EXPECT_EQ(edits_.asked.back().op, "delete");
  EXPECT_EQ(supervisor.send("PUT", "/api/calls/" + id + "/text", R"({"words":"y"})").status, 400);
  EXPECT_EQ(supervisor.send("PUT", "/api/calls/" + id + "/text", "[1,2").status, 400);
  EXPECT_EQ(supervisor.send("PUT", "/api/calls/x/text", R"({"text":"y"})").status, 404);
  EXPECT_EQ(supervisor
                .send("PUT", "/api/calls/" + id + "/text", "text=y",
                      {{"Content-Type", "application/x-www-form-urlencoded"}})
                .status,
            415);
}

TEST_F(WebApi, AdministratorsManageUsersAndReadTheAudit) {
  WebClient admin = loggedIn("ada");
  WebClient listener = loggedIn("lee");
  HttpReply added = admin.send("POST", "/api/users",
                               R"({"name":"kim","role":"supervisor","password":"long enough 1"})");
  EXPECT_EQ(added.status, 201) << added.body;
  EXPECT_EQ(admin
                .send("POST", "/api/users",
                      R"({"name":"kim2","role":"supervisor","password":"ZORUZIVA"})")
                .status,
            400);
  EXPECT_EQ(
      admin.send("POST", "/api/users", R"({"name":"x","role":"king","password":"long enough 1"})")
          .status,
      400);
  const HttpReply list = admin.get("/api/users");
  EXPECT_EQ(json(list)["users"].size(), 4u);
  EXPECT_EQ(admin.send("PUT", "/api/users/lee", R"({"role":"supervisor"})").status, 200);
  EXPECT_EQ(listener.get("/api/session").status, 401) << "a changed role logs the user out";
  EXPECT_EQ(admin.send("PUT", "/api/users/nobody", R"({"role":"admin"})").status, 404);
  EXPECT_EQ(admin.send("DELETE", "/api/users/kim", "").status, 204);
  EXPECT_EQ(admin.send("DELETE", "/api/users/ada", "").status, 409) << "the last administrator";
  const HttpReply audit = admin.get("/api/audit?limit=3");
  ASSERT_EQ(audit.status, 200);
  ASSERT_EQ(json(audit)["entries"].size(), 3u);
  EXPECT_EQ(json(audit)["entries"][0]["action"], "user-remove") << "newest first";
  EXPECT_EQ(json(audit)["entries"][1]["action"], "user-remove");
  EXPECT_EQ(json(audit)["entries"][1]["call"], "kim");
  EXPECT_EQ(admin.get("/api/audit?limit=0").status, 400);
}

TEST_F(WebApi, LinesSayTheRecorderIsStoppedWhenNoneServesTheFolder) {
  WebClient browser = loggedIn("lee");
  ASSERT_TRUE(eventually([&] { return lines_.view().seq > 0; }, 5s));
  const HttpReply lines = browser.get("/api/lines");
  ASSERT_EQ(lines.status, 200);
  EXPECT_EQ(json(lines)["recorder"], "stopped");
  EXPECT_TRUE(json(lines)["lines"].empty());
}

}  // namespace
}  // namespace parvolin::webserver::test
