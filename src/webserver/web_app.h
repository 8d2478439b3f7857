#pragma once

// lvsvr's routes: the pages, the calls with their audio, the lines, the edits
// handed to the recorder, and the administration of users. Every route names
// the role it needs (or that it is open to all: the log-in page, its request
// and the pages' assets); a request that changes anything carries the session's
// CSRF token; each answer is made from the list and the recorder's state, never
// from a path a request names.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/audit_log.h"
#include "web/call_list.h"
#include "web/login_throttle.h"
#include "web/sessions.h"
#include "web/users.h"
#include "webserver/http.h"
#include "webserver/live_lines.h"
#include "webserver/recorder_edits.h"

namespace parvolin::webserver {

struct WebAppSetup {
  std::filesystem::path folder;  // the recording folder, only read
  int davaLevel = 0;             // of the WAV made from a recording
};

// What the routes use; each outlives the app.
struct WebAppParts {
  web::UserStore& users;
  web::Sessions& sessions;
  web::LoginThrottle& throttle;
  web::AuditLog& audit;
  web::CallList& calls;
  LiveLines& lines;
  RecorderEdits& edits;
};

// Who may use a route.
enum class Access { kAnyone, kListener, kSupervisor, kAdmin };

class WebApp {
 public:
  WebApp(WebAppSetup setup, WebAppParts parts);
  Response handle(const Request& request);

  // Every route, for the tests that check that each refuses what it must.
  struct RouteInfo {
    Method method;
    std::string pattern;  // "/api/calls/:id/audio"
    Access access;
  };
  std::vector<RouteInfo> routes() const;

  // The parts of a request past the edge checks, for the handlers.
  struct Call {
    const Request& request;
    std::optional<web::Session> session;
    std::vector<std::string> params;  // the ":id" segments, decoded
  };

 private:
  using Handler = Response (WebApp::*)(Call&);
  struct RouteEntry {
    Method method;
    std::vector<std::string_view> pattern;
    Access access;
    bool page;
    Handler handler;
  };
  void addRoutes();
  std::optional<Response> refused(const RouteEntry& route, Call& call);
  void audit(const Call& call, std::string_view action, std::string_view subject,
             std::string_view outcome);

  Response root(Call&);
  Response page(Call&);
  Response asset(Call&);
  Response login(Call&);
  Response logout(Call&);
  Response session(Call&);
  Response listCalls(Call&);
  Response oneCall(Call&);
  Response audio(Call&);
  Response download(Call&);
  Response editText(Call&);
  Response deleteCall(Call&);
  Response lines(Call&);
  Response listUsers(Call&);
  Response addUser(Call&);
  Response changeUser(Call&);
  Response removeUser(Call&);
  Response auditEntries(Call&);
  Response recording(Call& call, bool asWav, bool attachment);

  WebAppSetup setup_;
  WebAppParts parts_;
  std::vector<RouteEntry> routes_;
};

// The query of GET /api/calls, checked at the edge: only the names page, size,
// sort, order, q, from and to; numbers in range; dates as YYYY-MM-DD. Why not,
// otherwise.
[[nodiscard]] std::optional<std::string> parseCallQueryProblem(
    const std::map<std::string, std::string>& query, web::CallQuery& out);

nlohmann::json callJson(const web::CallRow& row);

}  // namespace parvolin::webserver
