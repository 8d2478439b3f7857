#include "web/login_throttle.h"

#include <algorithm>

namespace parvolin::web {

LoginThrottle::LoginThrottle(SteadyNow now) : now_(std::move(now)) {}

void LoginThrottle::forgetOldLocked(std::chrono::steady_clock::time_point now) {
  std::erase_if(records_,
                [&](const auto& entry) { return now - entry.second.last >= kForgetAfter; });
}

std::chrono::milliseconds LoginThrottle::waitFor(std::string_view address) {
  std::lock_guard lock(mutex_);
  const auto it = records_.find(std::string(address));
  if (it == records_.end()) return std::chrono::milliseconds(0);
  const auto now = now_();
  if (now - it->second.last >= kForgetAfter) {
    records_.erase(it);
    return std::chrono::milliseconds(0);
  }
  const int over = it->second.failures - kFreeFailures;
  if (over < 0) return std::chrono::milliseconds(0);
  // 1 s after the fifth failure, doubling with each one after it, up to a minute.
  const std::chrono::milliseconds pause =
      over >= 6
          ? std::chrono::milliseconds(kLongestWait)
          : std::min<std::chrono::milliseconds>(std::chrono::seconds(1 << over), kLongestWait);
  const auto until = it->second.last + pause;
  if (now >= until) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(until - now);
}

void LoginThrottle::failed(std::string_view address) {
  std::lock_guard lock(mutex_);
  const auto now = now_();
  auto it = records_.find(std::string(address));
  if (it != records_.end() && now - it->second.last >= kForgetAfter) it->second.failures = 0;
  if (it == records_.end()) {
    if (records_.size() >= kMaxAddresses) forgetOldLocked(now);
    if (records_.size() >= kMaxAddresses) {
      const auto oldest = std::min_element(
          records_.begin(), records_.end(),
          [](const auto& a, const auto& b) { return a.second.last < b.second.last; });
      records_.erase(oldest);
    }
    it = records_.emplace(std::string(address), Record{}).first;
  }
  it->second.failures = std::min(it->second.failures + 1, 1000);
  it->second.last = now;
}

void LoginThrottle::succeeded(std::string_view address) {
  std::lock_guard lock(mutex_);
  records_.erase(std::string(address));
}

std::size_t LoginThrottle::size() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

}  // namespace parvolin::web
