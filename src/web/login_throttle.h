#pragma once

// Slows down the guessing of passwords, per client address: the first five failures cost
// nothing, then every attempt must wait 1 s, 2 s, 4 s, ... up to 60 s after the last failure.
// An address is forgotten after 15 minutes without failures, or when it logs in.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "web/sessions.h"

namespace parvolin::web {

class LoginThrottle {
 public:
  static constexpr int kFreeFailures = 5;
  static constexpr std::chrono::seconds kLongestWait{60};
  static constexpr std::chrono::minutes kForgetAfter{15};
  static constexpr std::size_t kMaxAddresses = 10'000;

  explicit LoginThrottle(SteadyNow now = std::chrono::steady_clock::now);

  // How long `address` must still wait before its next attempt; zero when it may try now.
  std::chrono::milliseconds waitFor(std::string_view address);
  void failed(std::string_view address);
  void succeeded(std::string_view address);
  std::size_t size() const;

 private:
  struct Record {
    int failures = 0;
    std::chrono::steady_clock::time_point last;
  };
  void forgetOldLocked(std::chrono::steady_clock::time_point now);

  SteadyNow now_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Record> records_;
};

}  // namespace parvolin::web
