#pragma once

// Logged-in users of the web server: a session per login, named by a random 256-bit id (the
// cookie) and carrying its own CSRF token. Sessions live in memory only.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "web/role.h"

namespace parvolin::web {

using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

struct Session {
  std::string id;    // 64 lower-case hex digits of 32 random bytes
  std::string csrf;  // likewise, another 32 random bytes
  std::string user;
  Role role = Role::kListener;
  std::string address;  // of the client that logged in
  std::chrono::steady_clock::time_point lastSeen;
};

// 32 random bytes as 64 lower-case hex digits.
std::string randomToken();

class Sessions {
 public:
  static constexpr std::size_t kMaxSessions = 10'000;

  explicit Sessions(std::chrono::seconds idle = std::chrono::minutes(30),
                    SteadyNow now = std::chrono::steady_clock::now);

  std::chrono::seconds idle() const { return idle_; }

  // A new session; the oldest is ended when there are kMaxSessions already.
  Session create(std::string_view user, Role role, std::string_view address);
  // The session of `id`, its lastSeen now; nullopt for an unknown id and for one idle longer than
  // `idle`, which is ended.
  std::optional<Session> find(std::string_view id);
  void end(std::string_view id);
  // Ends every session of `user` (removed, or its password or role changed).
  void endUser(std::string_view user);
  // Changes the role of `user`'s sessions (an administrator changed it).
  void setRole(std::string_view user, Role role);
  std::size_t size() const;

  // Whether `token` is the session's CSRF token; in constant time.
  static bool csrfMatches(const Session& session, std::string_view token);

 private:
  void dropExpiredLocked(std::chrono::steady_clock::time_point now);

  std::chrono::seconds idle_;
  SteadyNow now_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Session> sessions_;
};

}  // namespace parvolin::web
