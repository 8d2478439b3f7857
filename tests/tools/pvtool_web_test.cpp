#include "tools/pvtool_web.h"

#include <gmock/gmock.h>

#include <deque>
#include <sstream>

#include "base/exit_status.h"
#include "support/expect_ok.h"
#include "support/test_files.h"
#include "web/audit_log.h"
#include "web/users.h"

namespace parvolin::tools {
namespace {

using ::testing::HasSubstr;

class ScriptedPasswords final : public PasswordReader {
 public:
  ScriptedPasswords(bool terminal, std::deque<std::string> lines)
      : terminal_(terminal), lines_(std::move(lines)) {}
  bool terminal() const override { return terminal_; }
  std::optional<std::string> read(std::string_view) override {
    if (lines_.empty()) return std::nullopt;
    std::string line = lines_.front();
    lines_.pop_front();
    return line;
  }

 private:
  bool terminal_;
  std::deque<std::string> lines_;
};

struct Result {
  int status;
  std::string out, err;
};

class PvtoolWebUser : public ::testing::Test {
 protected:
  Result run(Args args, bool terminal = false, std::deque<std::string> passwords = {}) {
    args.push_back("--state");
    args.push_back(state().string());
    ScriptedPasswords reader(terminal, std::move(passwords));
    std::ostringstream out, err;
    const int status = runWebUserWith(args, reader, out, err);
    return {status, out.str(), err.str()};
  }
  std::filesystem::path state() const { return folder.path() / "state"; }

  test::TempFolder folder;
};

TEST_F(PvtoolWebUser, AddsListsChangesAndRemovesUsers) {
  Result r = run({"add", "anna", "--role", "admin"}, false, {"correct horse battery"});
  ASSERT_EQ(r.status, base::kExitOk) << r.err;
  r = run({"add", "bert", "--role", "listener"}, true, {"another long one", "another long one"});
  ASSERT_EQ(r.status, base::kExitOk) << r.err;
  r = run({"list"});
  EXPECT_EQ(r.out, "anna admin\nbert listener\n");
  EXPECT_EQ(run({"role", "bert", "supervisor"}).status, base::kExitOk);
  EXPECT_EQ(run({"passwd", "bert"}, false, {"a third password"}).status, base::kExitOk);
  web::UserStore users(state() / "users");
  ASSERT_WORKED(users.loadProblem());
  const auto bert = users.verify("bert", "a third password");
  ASSERT_TRUE(bert);
  EXPECT_EQ(bert->role, web::Role::kSupervisor);
  EXPECT_EQ(run({"remove", "bert"}).status, base::kExitOk);
  EXPECT_EQ(run({"list"}).out, "anna admin\n");
}

TEST_F(PvtoolWebUser, RefusesWithAReason) {
  ASSERT_EQ(run({"add", "anna", "--role", "admin"}, false, {"correct horse battery"}).status,
            base::kExitOk);
  ASSERT_EQ(run({"add", "bert", "--role", "listener"}, false, {"another long one"}).status,
            base::kExitOk);
  const struct {
    Args args;
    bool terminal;
    std::deque<std::string> passwords;
    int status;
    const char* says;
  } cases[] = {
      {{"add", "carl", "--role", "admin"}, false, {"ZORUZIVA"}, base::kExitFailed, "default"},
      {{"add", "carl", "--role", "admin"}, false, {"short"}, base::kExitFailed, "at least 10"},
      {{"add", "carl", "--role", "admin"}, false, {}, base::kExitFailed, "no password"},
      {{"add", "carl", "--role", "admin"},
       true,
       {"one long password", "another"},
       base::kExitFailed,
       "differ"},
      {{"add", "anna", "--role", "admin"},
       false,
       {"some long password"},
       base::kExitFailed,
       "already"},
      {{"add", "c d", "--role", "admin"}, false, {"some long password"}, base::kExitFailed, "name"},
      {{"remove", "anna"}, false, {}, base::kExitFailed, "last administrator"},
      {{"role", "anna", "listener"}, false, {}, base::kExitFailed, "last administrator"},
      {{"passwd", "carl"}, false, {"some long password"}, base::kExitFailed, "no user"},
      {{"add", "carl"}, false, {}, base::kExitUsage, "--role"},
      {{"add", "carl", "--role", "boss"}, false, {}, base::kExitUsage, "role"},
      {{"role", "anna"}, false, {}, base::kExitUsage, "too few"},
      {{"list", "x"}, false, {}, base::kExitUsage, "too many"},
      {{"drop", "anna"}, false, {}, base::kExitUsage, "unknown action"},
      {{}, false, {}, base::kExitUsage, "which action"},
      {{"remove", "bert", "--role", "admin"}, false, {}, base::kExitUsage, "--role goes with"},
  };
  for (const auto& c : cases) {
    const Result r = run(c.args, c.terminal, c.passwords);
    EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args) << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << ::testing::PrintToString(c.args);
  }
  EXPECT_EQ(run({"list"}).out, "anna admin\nbert listener\n");
}

TEST_F(PvtoolWebUser, ABadUsersFileIsNeitherUsedNorWrittenOver) {
  std::filesystem::create_directories(state());
  test::writeFile(state() / "users", "anna:admin:plaintext\n");
  const Result r = run({"add", "bert", "--role", "admin"}, false, {"some long password"});
  EXPECT_EQ(r.status, base::kExitFailed);
  EXPECT_THAT(r.err, HasSubstr("line 1"));
  EXPECT_EQ(test::readFile(state() / "users"), "anna:admin:plaintext\n");
}

TEST(PvtoolAudit, PrintsTheLogAsTextOrJsonFromADay) {
  test::TempFolder folder;
  web::AuditLog log(folder.path() / "audit.log");
  const std::int64_t day = 1'800'000'000;
  ASSERT_WORKED(log.append({day, "10.0.0.1", "anna", "login", "", "ok"}));
  ASSERT_WORKED(log.append({day + 3 * 86400, "::1", "bert", "play", "w6B49D200p3.LV2", "ok"}));
  ASSERT_WORKED(log.append({day + 3 * 86401, "::1", "evil\x1b[2J", "login-failed", "", "wrong x"}));
  test::writeFile(folder.path() / "audit.log",
                  test::readFile(folder.path() / "audit.log") + "{\"time\":1,\"act");
  const auto audit = [&](Args args) {
    args.push_back("--state");
    args.push_back(folder.path().string());
    std::ostringstream out, err;
    const int status = runAudit(args, out, err);
    return Result{status, out.str(), err.str()};
  };
  Result r = audit({});
  ASSERT_EQ(r.status, base::kExitOk) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
  EXPECT_THAT(r.out, HasSubstr("  ::1  bert  play  w6B49D200p3.LV2  ok\n"));
  EXPECT_THAT(r.out, HasSubstr("  10.0.0.1  anna  login  -  ok\n"));
  EXPECT_THAT(r.out, HasSubstr("evil\\x1B[2J  login-failed  -  wrong_x"));  // never raw
  r = audit({"--json"});
  EXPECT_THAT(r.out, HasSubstr("{\"action\":\"play\",\"address\":\"::1\""));
  // --since: local days; a day well after the first entry leaves it out.
  const std::time_t later = std::time_t(day + 2 * 86400);
  std::tm tm{};
  ::localtime_r(&later, &tm);
  char since[16];
  std::strftime(since, sizeof since, "%Y-%m-%d", &tm);
  r = audit({"--since", since});
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
  EXPECT_EQ(audit({"--since", "yesterday"}).status, base::kExitUsage);
  EXPECT_EQ(audit({"--bogus"}).status, base::kExitUsage);

  std::ostringstream out, err;
  EXPECT_EQ(runAudit({"--state", (folder.path() / "none").string()}, out, err), base::kExitOk);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace parvolin::tools
