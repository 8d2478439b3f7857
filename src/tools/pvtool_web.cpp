// pvtool web-user and pvtool audit: the web server's users and its audit log, in its state
// folder.

#include "tools/pvtool_web.h"

#include <termios.h>
#include <unistd.h>

#include <ctime>
#include <iostream>

#include "base/exit_status.h"
#include "base/program_text.h"
#include "tools/command_line.h"
#include "web/audit_log.h"
#include "web/state_folder.h"
#include "web/users.h"

namespace parvolin::tools {

constinit const std::string_view kWebUserHelp =
    "usage: pvtool web-user add NAME --role listener|supervisor|admin [--state DIR]\n"
    "       pvtool web-user list [--state DIR]\n"
    "       pvtool web-user remove NAME [--state DIR]\n"
    "       pvtool web-user passwd NAME [--state DIR]\n"
    "       pvtool web-user role NAME listener|supervisor|admin [--state DIR]\n"
    "  Manages the users of the web server lvsvr. A new password is read twice without echo\n"
    "  from a terminal, or as one line of standard input; it needs at least 10 characters and\n"
    "  is kept only as an argon2id hash. listeners find, play and download calls; supervisors\n"
    "  also edit and delete them; admins also manage users and read the audit log. The last\n"
    "  admin cannot be removed or demoted while other users remain.\n"
    "  --state DIR  the web server's state folder (default: $XDG_STATE_HOME/parvolin-web)\n";

constinit const std::string_view kAuditHelp =
    "usage: pvtool audit [--state DIR] [--json] [--since YYYY-MM-DD]\n"
    "  Prints the web server's audit log, oldest first: who logged in (or failed), played,\n"
    "  downloaded, edited or deleted which call, and who changed which user; when (local time)\n"
    "  and from which address.\n"
    "  --state DIR  the web server's state folder (default: $XDG_STATE_HOME/parvolin-web)\n"
    "  --json       one JSON object per line, as the log holds them\n"
    "  --since DAY  only the entries of that day (local time) and later\n";

namespace {

namespace fs = std::filesystem;

struct WebUserOptions {
  std::string action;  // add, list, remove, passwd, role
  std::string name;
  std::optional<web::Role> role;
  fs::path state = web::defaultStateFolder();
};

[[nodiscard]] std::optional<WebUserOptions> parseWebUser(const Args& args, std::string& problem) {
  WebUserOptions options;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--state" || a == "--role") {
      if (++i == args.size()) {
        problem = a + " needs a value";
        return std::nullopt;
      }
      if (a == "--state") {
        options.state = args[i];
      } else if (!(options.role = web::roleFromName(args[i]))) {
        problem = "the role is listener, supervisor or admin";
        return std::nullopt;
      }
    } else if (a.starts_with("-")) {
      problem = "unexpected '" + base::printable(a) + "'";
      return std::nullopt;
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) {
    problem = "which action: add, list, remove, passwd or role?";
    return std::nullopt;
  }
  options.action = words[0];
  const auto expect = [&](std::size_t count) {
    if (words.size() == count) return true;
    problem = words.size() < count ? "too few arguments for " + options.action
                                   : "too many arguments for " + options.action;
    return false;
  };
  if (options.action == "list") {
    if (!expect(1)) return std::nullopt;
  } else if (options.action == "add" || options.action == "remove" || options.action == "passwd") {
    if (!expect(2)) return std::nullopt;
    options.name = words[1];
    if (options.action == "add" && !options.role) {
      problem = "add needs --role listener|supervisor|admin";
      return std::nullopt;
    }
  } else if (options.action == "role") {
    if (!expect(3)) return std::nullopt;
    options.name = words[1];
    if (!(options.role = web::roleFromName(words[2]))) {
      problem = "the role is listener, supervisor or admin";
      return std::nullopt;
    }
  } else {
    problem = "unknown action '" + base::printable(options.action) + "'";
    return std::nullopt;
  }
  if ((options.role && options.action != "add" && options.action != "role")) {
    problem = "--role goes with add";
    return std::nullopt;
  }
  return options;
}

// A new password: twice on a terminal, which must agree.
std::optional<std::string> newPassword(PasswordReader& passwords, std::string& problem) {
  const auto first = passwords.read("New password: ");
  if (!first || first->empty()) {
    problem = "no password was given";
    return std::nullopt;
  }
  if (passwords.terminal()) {
    const auto again = passwords.read("The same again: ");
    if (!again || *again != *first) {
      problem = "the two passwords differ";
      return std::nullopt;
    }
  }
  return first;
}

}  // namespace

bool StandardPasswordReader::terminal() const {
  return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> StandardPasswordReader::read(std::string_view prompt) {
  std::string line;
  if (!terminal()) {
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (line.ends_with('\r')) line.pop_back();
    return line;
  }
  err_ << prompt << std::flush;
  termios saved{};
  const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios noEcho = saved;
    noEcho.c_lflag &= ~tcflag_t(ECHO);
    (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho);
  }
  const bool got = bool(std::getline(std::cin, line));
  if (quiet) (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  err_ << '\n';
  if (!got) return std::nullopt;
  return line;
}

int runWebUserWith(const Args& args, PasswordReader& passwords, std::ostream& out,
                   std::ostream& err) {
  std::string problem;
  const auto options = parseWebUser(args, problem);
  if (!options) return usageError(err, "web-user", kWebUserHelp, problem);
  web::UserStore users(options->state / web::kUsersFileName);
  if (const auto loaded = users.loadProblem()) {
    err << "pvtool web-user: " << base::printable(*loaded) << '\n';
    return base::kExitFailed;
  }
  const std::string& name = options->name;
  std::optional<std::string> failed;
  if (options->action == "list") {
    for (const web::User& user : users.users()) {
      out << user.name << ' ' << web::roleName(user.role) << '\n';
    }
    return base::kExitOk;
  }
  if (options->action == "add" || options->action == "passwd") {
    if (options->action == "passwd" && !users.user(name)) {
      failed = "There is no user " + name + ".";
    } else if (options->action == "add" && users.user(name)) {
      failed = "There is a user " + name + " already.";
    } else if (const auto password = newPassword(passwords, problem)) {
      if (options->action == "add") {
        failed = web::makeStateFolderProblem(options->state);
        if (!failed) failed = users.addProblem(name, *options->role, *password);
      } else {
        failed = users.setPasswordProblem(name, *password);
      }
    } else {
      failed = problem;
    }
  } else if (options->action == "remove") {
    failed = users.removeProblem(name);
  } else {
    failed = users.setRoleProblem(name, *options->role);
  }
  if (failed) {
    err << "pvtool web-user: " << base::printable(*failed) << '\n';
    return base::kExitFailed;
  }
  out << "pvtool web-user: " << options->action << ' ' << name << ": done\n";
  return base::kExitOk;
}

int runWebUser(const Args& args, std::ostream& out, std::ostream& err) {
  StandardPasswordReader passwords(err);
  return runWebUserWith(args, passwords, out, err);
}

namespace {

struct AuditOptions {
  fs::path state = web::defaultStateFolder();
  bool asJson = false;
  std::optional<std::int64_t> since;  // seconds since 1970
};

// The start of the local day "YYYY-MM-DD"; nullopt for any other text.
std::optional<std::int64_t> dayStart(const std::string& day) {
  int y = 0, m = 0, d = 0;
  char end = 0;
  if (day.size() != 10 || std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &end) != 3 ||
      m < 1 || m > 12 || d < 1 || d > 31) {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = m - 1;
  tm.tm_mday = d;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == std::time_t(-1)) return std::nullopt;
  return std::int64_t(t);
}

[[nodiscard]] std::optional<AuditOptions> parseAudit(const Args& args, std::string& problem) {
  AuditOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      options.asJson = true;
    } else if (a == "--state" || a == "--since") {
      if (++i == args.size()) {
        problem = a + " needs a value";
        return std::nullopt;
      }
      if (a == "--state") {
        options.state = args[i];
      } else if (!(options.since = dayStart(args[i]))) {
        problem = "--since takes a day as YYYY-MM-DD";
        return std::nullopt;
      }
    } else {
      problem = "unexpected '" + base::printable(a) + "'";
      return std::nullopt;
    }
  }
  return options;
}

std::string localTime(std::int64_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm tm{};
  if (!::localtime_r(&t, &tm)) return std::to_string(seconds);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

// A column of the text form: "-" when empty, never a blank or a control character inside.
std::string column(std::string_view text) {
  if (text.empty()) return "-";
  std::string out = base::printable(text);
  for (char& c : out) {
    if (c == ' ') c = '_';
  }
  return out;
}

}  // namespace

int runAudit(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const auto options = parseAudit(args, problem);
  if (!options) return usageError(err, "audit", kAuditHelp, problem);
  const fs::path file = options->state / web::kAuditFileName;
  const auto entries = web::readAuditLog(file, problem);
  if (!problem.empty()) err << "pvtool audit: " << base::printable(problem) << '\n';
  if (entries.empty() && !problem.empty() && !problem.ends_with("skipped")) {
    return base::kExitFailed;
  }
  for (const web::AuditEntry& e : entries) {
    if (options->since && e.time < *options->since) continue;
    if (options->asJson) {
      out << web::auditLine(e);
    } else {
      out << localTime(e.time) << "  " << column(e.address) << "  " << column(e.user) << "  "
          << column(e.action) << "  " << column(e.call) << "  " << column(e.outcome) << '\n';
    }
  }
  return base::kExitOk;
}

}  // namespace parvolin::tools
