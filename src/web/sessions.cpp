#include "web/sessions.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <vector>

#include "web/sodium_init.h"

namespace parvolin::web {

std::string randomToken() {
  ensureSodium();
  std::array<unsigned char, 32> bytes{};
  randombytes_buf(bytes.data(), bytes.size());
  std::array<char, 2 * 32 + 1> hex{};
  sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
  sodium_memzero(bytes.data(), bytes.size());
  return std::string(hex.data(), 2 * 32);
}

Sessions::Sessions(std::chrono::seconds idle, SteadyNow now) : idle_(idle), now_(std::move(now)) {}

void Sessions::dropExpiredLocked(std::chrono::steady_clock::time_point now) {
  std::erase_if(sessions_, [&](const auto& entry) { return now - entry.second.lastSeen > idle_; });
}

Session Sessions::create(std::string_view user, Role role, std::string_view address) {
  Session session;
  session.id = randomToken();
  session.csrf = randomToken();
  session.user = std::string(user);
  session.role = role;
  session.address = std::string(address);
  std::lock_guard lock(mutex_);
  session.lastSeen = now_();
  if (sessions_.size() >= kMaxSessions) dropExpiredLocked(session.lastSeen);
  if (sessions_.size() >= kMaxSessions) {
    auto oldest = sessions_.begin();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
      if (it->second.lastSeen < oldest->second.lastSeen) oldest = it;
    }
    sessions_.erase(oldest);
  }
  sessions_.emplace(session.id, session);
  return session;
}

std::optional<Session> Sessions::find(std::string_view id) {
  std::lock_guard lock(mutex_);
  const auto it = sessions_.find(std::string(id));
  if (it == sessions_.end()) return std::nullopt;
  const auto now = now_();
  if (now - it->second.lastSeen > idle_) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.lastSeen = now;
  return it->second;
}

void Sessions::end(std::string_view id) {
  std::lock_guard lock(mutex_);
  sessions_.erase(std::string(id));
}

void Sessions::endUser(std::string_view user) {
  std::lock_guard lock(mutex_);
  std::erase_if(sessions_, [&](const auto& entry) { return entry.second.user == user; });
}

void Sessions::setRole(std::string_view user, Role role) {
  std::lock_guard lock(mutex_);
  for (auto& [id, session] : sessions_) {
    if (session.user == user) session.role = role;
  }
}

std::size_t Sessions::size() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

bool Sessions::csrfMatches(const Session& session, std::string_view token) {
  // The length is no secret (always 64); the bytes are compared in constant time.
  if (session.csrf.empty() || token.size() != session.csrf.size()) return false;
  return sodium_memcmp(session.csrf.data(), token.data(), token.size()) == 0;
}

}  // namespace parvolin::web
