#include "webserver/web_app.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

#include "web/recording_audio.h"
#include "webserver/assets.h"

namespace parvolin::webserver {

using nlohmann::json;

namespace {

constexpr std::string_view kSessionCookie = "pvsession";
constexpr std::string_view kLogInFirst = "Log in first.";

web::Role neededRole(Access access) {
  switch (access) {
    case Access::kSupervisor:
      return web::Role::kSupervisor;
    case Access::kAdmin:
      return web::Role::kAdmin;
    default:
      return web::Role::kListener;
  }
}

std::string_view accessRole(Access access) {
  return access == Access::kAnyone ? std::string_view("anyone") : web::roleName(neededRole(access));
}

bool changes(Method method) {
  return method == Method::kPost || method == Method::kPut || method == Method::kDelete;
}

std::string methodName(Method method) {
  switch (method) {
    case Method::kGet:
      return "GET";
    case Method::kHead:
      return "HEAD";
    case Method::kPost:
      return "POST";
    case Method::kPut:
      return "PUT";
    case Method::kDelete:
      return "DELETE";
    case Method::kOther:
      break;
  }
  return "OTHER";
}

// The JSON object of a request's body; nullopt when it is none.
std::optional<json> bodyObject(const Request& request) {
  json body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) return std::nullopt;
  return body;
}

std::optional<std::string> stringField(const json& body, const char* name) {
  const auto found = body.find(name);
  if (found == body.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

bool originMatches(const Request& request) {
  const std::string origin = request.header("origin");
  if (origin.empty()) return true;
  const std::string host = request.header("host");
  return !host.empty() && origin == std::string(request.tls ? "https://" : "http://") + host;
}

std::string sessionCookie(std::string_view id, bool secure, bool clear) {
  std::string cookie =
      std::string(kSessionCookie) + "=" + std::string(id) + "; HttpOnly; SameSite=Strict; Path=/";
  if (secure) cookie += "; Secure";
  if (clear) cookie += "; Max-Age=0";
  return cookie;
}

json userJson(const web::User& user) {
  return {{"name", user.name}, {"role", web::roleName(user.role)}};
}

std::optional<int> parseNumber(std::string_view text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

bool isDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const auto year = parseNumber(text.substr(0, 4), 1970, 9999);
  const auto month = parseNumber(text.substr(5, 2), 1, 12);
  const auto day = parseNumber(text.substr(8, 2), 1, 31);
  return year && month && day;
}

// A JSON answer of the recording's bytes from a RecordingAudio object kept for
// the request.
class AudioSource final : public BodySource {
 public:
  AudioSource(web::RecordingAudio audio, bool asWav) : audio_(std::move(audio)), wav_(asWav) {}
  std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override {
    return wav_ ? audio_.readWav(offset, out) : audio_.readRecorded(offset, out);
  }
  std::uint64_t size() const { return wav_ ? audio_.wavSize() : audio_.recordedSize(); }

 private:
  web::RecordingAudio audio_;
  bool wav_;
};

}  // namespace

json callJson(const web::CallRow& row) {
  return {{"id", row.id},           {"item", row.item},
          {"date", row.date},       {"time", row.time},
          {"port", row.port},       {"type", row.type},
          {"text", row.text},       {"duration", row.duration},
          {"seconds", row.seconds}, {"recorded", row.recorded},
          {"file", row.file}};
}

std::optional<std::string> parseCallQueryProblem(const std::map<std::string, std::string>& query,
                                                 web::CallQuery& out) {
  out = web::CallQuery{};
  for (const auto& [name, value] : query) {
    if (name == "page") {
      const auto page = parseNumber(value, 0, 1 << 20);
      if (!page) return "page must be a number from 0";
      out.page = *page;
    } else if (name == "size") {
      const auto size = parseNumber(value, 1, web::CallQuery::kMaxPageSize);
      if (!size) return "size must be a number from 1 to 200";
      out.pageSize = *size;
    } else if (name == "sort") {
      if (value == "date") {
        out.sort = web::CallQuery::Sort::kDate;
      } else if (value == "port") {
        out.sort = web::CallQuery::Sort::kPort;
      } else if (value == "duration") {
        out.sort = web::CallQuery::Sort::kDuration;
      } else {
        return "sort must be date, port or duration";
      }
    } else if (name == "order") {
      if (value != "desc" && value != "asc") return "order must be desc or asc";
      out.descending = value == "desc";
    } else if (name == "q") {
      if (value.size() > 100) return "q is too long";
      if (std::any_of(value.begin(), value.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return "q holds a control character";
      }
      out.text = value;
    } else if (name == "from" || name == "to") {
      if (!value.empty() && !isDate(value)) return name + " must be a date YYYY-MM-DD";
      if (!value.empty()) (name == "from" ? out.from : out.to) = value;
    } else {
      return "unknown parameter " + name;
    }
  }
  return std::nullopt;
}

WebApp::WebApp(WebAppSetup setup, WebAppParts parts) : setup_(std::move(setup)), parts_(parts) {
  addRoutes();
}

void WebApp::addRoutes() {
  using M = Method;
  using A = Access;
  routes_ = {
      {M::kGet, {}, A::kAnyone, true, &WebApp::root},
      {M::kGet, {"login"}, A::kAnyone, true, &WebApp::page},
      {M::kGet, {"calls"}, A::kListener, true, &WebApp::page},
      {M::kGet, {"lines"}, A::kListener, true, &WebApp::page},
      {M::kGet, {"admin"}, A::kAdmin, true, &WebApp::page},
      {M::kGet, {"assets", ":name"}, A::kAnyone, false, &WebApp::asset},
      {M::kPost, {"api", "login"}, A::kAnyone, false, &WebApp::login},
      {M::kPost, {"api", "logout"}, A::kListener, false, &WebApp::logout},
      {M::kGet, {"api", "session"}, A::kListener, false, &WebApp::session},
      {M::kGet, {"api", "calls"}, A::kListener, false, &WebApp::listCalls},
      {M::kGet, {"api", "calls", ":id"}, A::kListener, false, &WebApp::oneCall},
      {M::kGet, {"api", "calls", ":id", "audio"}, A::kListener, false, &WebApp::audio},
      {M::kGet, {"api", "calls", ":id", "download"}, A::kListener, false, &WebApp::download},
      {M::kPut, {"api", "calls", ":id", "text"}, A::kSupervisor, false, &WebApp::editText},
      {M::kDelete, {"api", "calls", ":id"}, A::kSupervisor, false, &WebApp::deleteCall},
      {M::kGet, {"api", "lines"}, A::kListener, false, &WebApp::lines},
      {M::kGet, {"api", "users"}, A::kAdmin, false, &WebApp::listUsers},
      {M::kPost, {"api", "users"}, A::kAdmin, false, &WebApp::addUser},
      {M::kPut, {"api", "users", ":name"}, A::kAdmin, false, &WebApp::changeUser},
      {M::kDelete, {"api", "users", ":name"}, A::kAdmin, false, &WebApp::removeUser},
      {M::kGet, {"api", "audit"}, A::kAdmin, false, &WebApp::auditEntries},
  };
}

std::vector<WebApp::RouteInfo> WebApp::routes() const {
  std::vector<RouteInfo> all;
  for (const RouteEntry& route : routes_) {
    std::string pattern;
    for (std::string_view segment : route.pattern) pattern += "/" + std::string(segment);
    all.push_back({route.method, pattern.empty() ? "/" : pattern, route.access});
  }
  return all;
}

Response WebApp::handle(const Request& request) {
  const auto segments = pathSegments(request.path);
  if (!segments) return errorResponse(400, "Bad path.");
  const Method method = request.method == Method::kHead ? Method::kGet : request.method;
  std::vector<std::string> allowed;
  for (const RouteEntry& route : routes_) {
    if (route.pattern.size() != segments->size()) continue;
    Call call{request, std::nullopt, {}};
    bool matches = true;
    for (std::size_t i = 0; i < route.pattern.size() && matches; ++i) {
      if (route.pattern[i].starts_with(':')) {
        call.params.push_back((*segments)[i]);
      } else {
        matches = route.pattern[i] == (*segments)[i];
      }
    }
    if (!matches) continue;
    if (route.method != method) {
      allowed.push_back(methodName(route.method));
      continue;
    }
    if (auto refusal = refused(route, call)) return std::move(*refusal);
    return (this->*route.handler)(call);
  }
  if (!allowed.empty()) {
    Response answer = errorResponse(405, "Method not allowed.");
    std::string allow;
    for (const std::string& name : allowed) allow += (allow.empty() ? "" : ", ") + name;
    answer.add("Allow", allow);
    return answer;
  }
  return errorResponse(404, "Not found.");
}

// The checks before any handler: the session and its role, the CSRF token of a
// change, the origin and type of a body.
std::optional<Response> WebApp::refused(const RouteEntry& route, Call& call) {
  const Request& request = call.request;
  const bool change = changes(request.method);
  if (change && !originMatches(request)) return errorResponse(403, "Wrong origin.");
  if (change && !request.body.empty() &&
      !request.header("content-type").starts_with("application/json")) {
    return errorResponse(415, "The body must be JSON.");
  }
  if (const auto id = request.cookie(kSessionCookie)) call.session = parts_.sessions.find(*id);
  if (route.access == Access::kAnyone) return std::nullopt;
  if (!call.session) {
    return route.page ? redirect("/login") : errorResponse(401, kLogInFirst);
  }
  if (!web::allows(call.session->role, neededRole(route.access))) {
    // A person who typed the address of a page their role does not show goes to the calls.
    if (route.page) return redirect("/calls");
    return errorResponse(403, "Your role (" + std::string(web::roleName(call.session->role)) +
                                  ") may not do this; it needs " +
                                  std::string(accessRole(route.access)) + ".");
  }
  if (change && !web::Sessions::csrfMatches(*call.session, request.header("x-csrf-token"))) {
    return errorResponse(403, "Missing or wrong CSRF token.");
  }
  return std::nullopt;
}

void WebApp::audit(const Call& call, std::string_view action, std::string_view subject,
                   std::string_view outcome) {
  web::AuditEntry entry;
  entry.time = static_cast<std::int64_t>(std::time(nullptr));
  entry.address = call.request.address;
  entry.user = call.session ? call.session->user : "";
  entry.action = std::string(action);
  entry.call = std::string(subject);
  entry.outcome = std::string(outcome);
  if (const std::error_code error = parts_.audit.append(entry)) {
    std::fprintf(stderr, "lvsvr: cannot write the audit log %s: %s\n", parts_.audit.file().c_str(),
                 error.message().c_str());
  }
}

Response WebApp::root(Call&) {
  return redirect("/calls");
}

Response WebApp::page(Call& call) {
  const auto segments = pathSegments(call.request.path);
  const Asset* found = findAsset(segments->front() + ".html");
  if (!found) return errorResponse(404, "Not found.");
  Response answer;
  answer.contentType = std::string(found->contentType);
  answer.body.assign(reinterpret_cast<const char*>(found->bytes.data()), found->bytes.size());
  return answer;
}

Response WebApp::asset(Call& call) {
  const Asset* found = findAsset(call.params.at(0));
  if (!found) return errorResponse(404, "Not found.");
  Response answer;
  answer.contentType = std::string(found->contentType);
  answer.body.assign(reinterpret_cast<const char*>(found->bytes.data()), found->bytes.size());
  answer.cacheable = true;
  return answer;
}

Response WebApp::login(Call& call) {
  const auto body = bodyObject(call.request);
  const auto name = body ? stringField(*body, "name") : std::nullopt;
  const auto password = body ? stringField(*body, "password") : std::nullopt;
  if (!name || !password) return errorResponse(400, "Expected {\"name\", \"password\"}.");
  const std::string& address = call.request.address;
  const auto wait = parts_.throttle.waitFor(address);
  if (wait.count() > 0) {
    const long long seconds = (wait.count() + 999) / 1000;
    Response answer = jsonResponse(
        429, {{"error", "Too many failed log-ins; wait " + std::to_string(seconds) + " s."},
              {"retryAfter", seconds}});
    answer.add("Retry-After", std::to_string(seconds));
    call.session.reset();
    audit(call, "login-failed", "", "throttled: " + name->substr(0, 64));
    return answer;
  }
  std::optional<web::User> user = parts_.users.verify(*name, *password);
  // The published default never logs anyone in, whatever a users file says.
  if (user && !web::passwordProblem(*password)) {
    parts_.throttle.succeeded(address);
    const web::Session session = parts_.sessions.create(user->name, user->role, address);
    call.session = session;
    audit(call, "login", "", "ok");
    Response answer = jsonResponse(
        200, {{"name", user->name}, {"role", web::roleName(user->role)}, {"csrf", session.csrf}});
    answer.add("Set-Cookie", sessionCookie(session.id, call.request.tls, false));
    return answer;
  }
  parts_.throttle.failed(address);
  call.session.reset();
  audit(call, "login-failed", "", "wrong name or password: " + name->substr(0, 64));
  return errorResponse(401, "Wrong name or password.");
}

Response WebApp::logout(Call& call) {
  parts_.sessions.end(call.session->id);
  audit(call, "logout", "", "ok");
  Response answer;
  answer.status = 204;
  answer.add("Set-Cookie", sessionCookie("", call.request.tls, true));
  return answer;
}

Response WebApp::session(Call& call) {
  return jsonResponse(200, {{"name", call.session->user},
                            {"role", web::roleName(call.session->role)},
                            {"csrf", call.session->csrf},
                            {"idleSeconds", parts_.sessions.idle().count()}});
}

Response WebApp::listCalls(Call& call) {
  if (call.request.queryBad) return errorResponse(400, "Bad query.");
  web::CallQuery query;
  if (const auto problem = parseCallQueryProblem(call.request.query, query)) {
    return errorResponse(400, *problem);
  }
  const web::CallPage page = parts_.calls.query(query);
  json calls = json::array();
  for (const web::CallRow& row : page.calls) calls.push_back(callJson(row));
  return jsonResponse(200, {{"total", page.total},
                            {"page", page.page},
                            {"size", page.pageSize},
                            {"calls", std::move(calls)}});
}

Response WebApp::oneCall(Call& call) {
  const auto row = parts_.calls.find(call.params.at(0));
  if (!row) return errorResponse(404, "No such call.");
  return jsonResponse(200, callJson(*row));
}

Response WebApp::audio(Call& call) {
  return recording(call, true, false);
}

Response WebApp::download(Call& call) {
  if (call.request.queryBad) return errorResponse(400, "Bad query.");
  bool asWav = true;
  for (const auto& [name, value] : call.request.query) {
    if (name != "form" || (value != "wav" && value != "recorded")) {
      return errorResponse(400, "form must be wav or recorded");
    }
    asWav = value == "wav";
  }
  return recording(call, asWav, true);
}

// A call's recording, by the name its row gives (never by a name from the
// request), whole or the one range asked for.
Response WebApp::recording(Call& call, bool asWav, bool attachment) {
  const std::string& id = call.params.at(0);
  const auto row = parts_.calls.find(id);
  if (!row) return errorResponse(404, "No such call.");
  if (!row->recorded || row->file.empty()) return errorResponse(404, "The call has no recording.");
  std::string why;
  auto opened = web::RecordingAudio::open(setup_.folder, row->file, setup_.davaLevel, why);
  if (!opened) {
    std::fprintf(stderr, "lvsvr: call %s: %s\n", id.c_str(), why.c_str());
    return errorResponse(404, "The recording cannot be read.");
  }
  asWav = asWav || opened->isWav();
  auto source = std::make_shared<AudioSource>(std::move(*opened), asWav);
  const std::uint64_t size = source->size();
  Response answer;
  answer.contentType = asWav ? "audio/wav" : "application/octet-stream";
  answer.add("Accept-Ranges", "bytes");
  if (attachment) {
    std::string name = row->file;
    if (asWav) name = name.substr(0, name.rfind('.')) + ".wav";
    answer.add("Content-Disposition", "attachment; filename=\"" + name + "\"");
  }
  const auto range = parseRange(call.request.header("range"), size);
  if (range && range->unsatisfiable) {
    Response refusal = errorResponse(416, "The range is outside the recording.");
    refusal.add("Content-Range", "bytes */" + std::to_string(size));
    return refusal;
  }
  answer.source = source;
  answer.offset = range ? range->first : 0;
  answer.length = range ? range->last - range->first + 1 : size;
  if (range) {
    answer.status = 206;
    answer.add("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                    std::to_string(range->last) + "/" + std::to_string(size));
  }
  // A player asks for many ranges of one call: its first counts as the play.
  if (attachment || answer.offset == 0) audit(call, attachment ? "download" : "play", id, "ok");
  return answer;
}

Response WebApp::editText(Call& call) {
  const auto body = bodyObject(call.request);
  const auto text = body ? stringField(*body, "text") : std::nullopt;
  if (!text) return errorResponse(400, "Expected {\"text\"}.");
  const std::string& id = call.params.at(0);
  const auto row = parts_.calls.find(id);
  if (!row) return errorResponse(404, "No such call.");
  const EditOutcome outcome = parts_.edits.editText(row->item, row->fingerprint, *text);
  audit(call, "edit", id, outcome.kind == EditOutcome::Kind::kApplied ? "ok" : outcome.message);
  switch (outcome.kind) {
    case EditOutcome::Kind::kApplied: {
      json answer{{"applied", true}};
      if (const auto changed = parts_.calls.find(id)) answer["call"] = callJson(*changed);
      return jsonResponse(200, answer);
    }
    case EditOutcome::Kind::kMoved:
      return errorResponse(409, outcome.message);
    case EditOutcome::Kind::kRefused:
      return errorResponse(400, outcome.message);
    default:
      return errorResponse(503, outcome.message);
  }
}

Response WebApp::deleteCall(Call& call) {
  const std::string& id = call.params.at(0);
  const auto row = parts_.calls.find(id);
  if (!row) return errorResponse(404, "No such call.");
  const EditOutcome outcome = parts_.edits.remove(row->item, row->fingerprint);
  audit(call, "delete", id, outcome.kind == EditOutcome::Kind::kApplied ? "ok" : outcome.message);
  switch (outcome.kind) {
    case EditOutcome::Kind::kApplied:
      return jsonResponse(200, {{"applied", true}});
    case EditOutcome::Kind::kMoved:
      return errorResponse(409, outcome.message);
    case EditOutcome::Kind::kRefused:
      return errorResponse(400, outcome.message);
    default:
      return errorResponse(503, outcome.message);
  }
}

Response WebApp::lines(Call&) {
  return jsonResponse(200, linesJson(parts_.lines.view()));
}

Response WebApp::listUsers(Call&) {
  parts_.users.reloadIfChanged();
  json users = json::array();
  for (const web::User& user : parts_.users.users()) users.push_back(userJson(user));
  return jsonResponse(200, {{"users", std::move(users)}});
}

Response WebApp::addUser(Call& call) {
  const auto body = bodyObject(call.request);
  const auto name = body ? stringField(*body, "name") : std::nullopt;
  const auto roleText = body ? stringField(*body, "role") : std::nullopt;
  const auto password = body ? stringField(*body, "password") : std::nullopt;
  const auto role = roleText ? web::roleFromName(*roleText) : std::nullopt;
  if (!name || !role || !password) {
    return errorResponse(400, "Expected {\"name\", \"role\", \"password\"}.");
  }
  if (const auto problem = parts_.users.addProblem(*name, *role, *password)) {
    audit(call, "user-add", name->substr(0, 64), *problem);
    return errorResponse(400, *problem);
  }
  audit(call, "user-add", *name, "ok: " + *roleText);
  Response answer = jsonResponse(201, {{"name", *name}, {"role", *roleText}});
  return answer;
}

Response WebApp::changeUser(Call& call) {
  const std::string& name = call.params.at(0);
  const auto body = bodyObject(call.request);
  if (!body) return errorResponse(400, "Expected {\"role\"?, \"password\"?}.");
  const auto roleText = stringField(*body, "role");
  const auto password = stringField(*body, "password");
  const auto role = roleText ? web::roleFromName(*roleText) : std::nullopt;
  if ((body->contains("role") && !role) || (body->contains("password") && !password) ||
      (!role && !password)) {
    return errorResponse(400, "Expected {\"role\"?, \"password\"?}.");
  }
  if (!parts_.users.user(name)) return errorResponse(404, "No such user.");
  std::optional<std::string> problem;
  if (password) problem = parts_.users.setPasswordProblem(name, *password);
  if (!problem && role) problem = parts_.users.setRoleProblem(name, *role);
  if (problem) {
    audit(call, "user-change", name, *problem);
    return errorResponse(400, *problem);
  }
  // A new password or role takes effect at the next log-in.
  parts_.sessions.endUser(name);
  audit(call, "user-change", name,
        std::string("ok:") + (role ? " role " + *roleText : "") + (password ? " password" : ""));
  const auto user = parts_.users.user(name);
  return jsonResponse(200, user ? userJson(*user) : json::object());
}

Response WebApp::removeUser(Call& call) {
  const std::string& name = call.params.at(0);
  if (!parts_.users.user(name)) return errorResponse(404, "No such user.");
  if (const auto problem = parts_.users.removeProblem(name)) {
    audit(call, "user-remove", name, *problem);
    return errorResponse(409, *problem);
  }
  parts_.sessions.endUser(name);
  audit(call, "user-remove", name, "ok");
  Response answer;
  answer.status = 204;
  return answer;
}

Response WebApp::auditEntries(Call& call) {
  if (call.request.queryBad) return errorResponse(400, "Bad query.");
  std::size_t limit = 200;
  for (const auto& [name, value] : call.request.query) {
    const auto number = parseNumber(value, 1, 10000);
    if (name != "limit" || !number) return errorResponse(400, "limit must be 1 to 10000");
    limit = static_cast<std::size_t>(*number);
  }
  std::string problem;
  auto entries = web::readAuditLog(parts_.audit.file(), problem, limit);
  json list = json::array();
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    list.push_back({{"time", entry->time},
                    {"address", entry->address},
                    {"user", entry->user},
                    {"action", entry->action},
                    {"call", entry->call},
                    {"outcome", entry->outcome}});
  }
  return jsonResponse(200, {{"entries", std::move(list)}});
}

}  // namespace parvolin::webserver
