#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "web/login_throttle.h"
#include "web/sessions.h"

namespace parvolin::web {
namespace {

using namespace std::chrono_literals;

// A steady clock that moves only when told.
struct ManualClock {
  std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
  SteadyNow source() {
    return [this] { return now; };
  }
};

bool isLowerHex(const std::string& text) {
  return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST(WebSessions, IdsAndTokensAre256RandomBitsInHex) {
  Sessions sessions;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const Session s = sessions.create("anna", Role::kAdmin, "10.0.0.1");
    EXPECT_EQ(s.id.size(), 64u);
    EXPECT_EQ(s.csrf.size(), 64u);
    EXPECT_TRUE(isLowerHex(s.id) && isLowerHex(s.csrf));
    EXPECT_TRUE(seen.insert(s.id).second);
    EXPECT_TRUE(seen.insert(s.csrf).second);
  }
}

TEST(WebSessions, IdleSessionsExpireAndEndedOnesAreGone) {
  ManualClock clock;
  Sessions sessions(30min, clock.source());
  const Session anna = sessions.create("anna", Role::kAdmin, "10.0.0.1");
  const Session anna2 = sessions.create("anna", Role::kAdmin, "10.0.0.2");
  const Session bert = sessions.create("bert", Role::kListener, "10.0.0.3");

  // Use keeps a session alive; 30 minutes without use ends it.
  clock.now += 29min;
  ASSERT_TRUE(sessions.find(anna.id));
  clock.now += 29min;
  const auto found = sessions.find(anna.id);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->user, "anna");
  EXPECT_EQ(found->csrf, anna.csrf);
  EXPECT_EQ(found->lastSeen, clock.now);
  EXPECT_FALSE(sessions.find(anna2.id));  // idle for 58 minutes
  EXPECT_FALSE(sessions.find(bert.id));
  clock.now += 30min + 1s;
  EXPECT_FALSE(sessions.find(anna.id));
  // Once expired it stays gone, even if the clock were to be kinder.
  clock.now -= 10min;
  EXPECT_FALSE(sessions.find(anna.id));

  struct Case {
    const char* what;
    std::string id;
  };
  const Session carl = sessions.create("carl", Role::kSupervisor, "10.0.0.4");
  const Case unknown[] = {{"empty", ""},
                          {"forged", std::string(64, 'a')},
                          {"upper case",
                           [&] {
                             std::string id = carl.id;
                             for (char& c : id) c = char(std::toupper(c));
                             return id;
                           }()},
                          {"prefix", carl.id.substr(0, 63)},
                          {"the csrf token", carl.csrf}};
  for (const Case& c : unknown) EXPECT_FALSE(sessions.find(c.id)) << c.what;
  EXPECT_TRUE(sessions.find(carl.id));
  sessions.end(carl.id);
  EXPECT_FALSE(sessions.find(carl.id));
}

TEST(WebSessions, AUsersSessionsEndOrChangeRoleTogether) {
  Sessions sessions;
  const Session a1 = sessions.create("anna", Role::kSupervisor, "x");
  const Session a2 = sessions.create("anna", Role::kSupervisor, "y");
  const Session b = sessions.create("bert", Role::kSupervisor, "z");
  sessions.setRole("anna", Role::kListener);
  EXPECT_EQ(sessions.find(a1.id)->role, Role::kListener);
  EXPECT_EQ(sessions.find(b.id)->role, Role::kSupervisor);
  sessions.endUser("anna");
  EXPECT_FALSE(sessions.find(a1.id));
  EXPECT_FALSE(sessions.find(a2.id));
  EXPECT_TRUE(sessions.find(b.id));
}

TEST(WebSessions, TheNumberOfSessionsIsBounded) {
  ManualClock clock;
  Sessions sessions(30min, clock.source());
  const Session first = sessions.create("anna", Role::kListener, "x");
  for (std::size_t i = 1; i < Sessions::kMaxSessions; ++i) {
    clock.now += 1ms;
    (void)sessions.create("anna", Role::kListener, "x");
  }
  EXPECT_EQ(sessions.size(), Sessions::kMaxSessions);
  clock.now += 1ms;
  const Session last = sessions.create("anna", Role::kListener, "x");
  EXPECT_EQ(sessions.size(), Sessions::kMaxSessions);
  EXPECT_FALSE(sessions.find(first.id));  // the oldest made room
  EXPECT_TRUE(sessions.find(last.id));
}

TEST(WebSessions, CsrfTokensMustMatchExactly) {
  Sessions sessions;
  const Session s = sessions.create("anna", Role::kAdmin, "x");
  std::string flipped = s.csrf;
  flipped[63] = flipped[63] == '0' ? '1' : '0';
  EXPECT_TRUE(Sessions::csrfMatches(s, s.csrf));
  for (const std::string& token :
       {std::string(), flipped, s.csrf.substr(0, 63), s.csrf + "0", s.id, std::string(64, '0')}) {
    EXPECT_FALSE(Sessions::csrfMatches(s, token)) << token;
  }
  Session none = s;
  none.csrf.clear();
  EXPECT_FALSE(Sessions::csrfMatches(none, ""));
}

TEST(WebLoginThrottle, FiveFailuresAreFreeThenTheWaitDoublesUpToAMinute) {
  ManualClock clock;
  LoginThrottle throttle(clock.source());
  const std::string a = "192.0.2.7";
  // The wait asked of the next attempt right after the n-th failure.
  const std::chrono::milliseconds expected[] = {0ms,     0ms,     0ms,    0ms,     1000ms,
                                                2000ms,  4000ms,  8000ms, 16000ms, 32000ms,
                                                60000ms, 60000ms, 60000ms};
  for (std::size_t n = 1; n <= std::size(expected); ++n) {
    throttle.failed(a);
    EXPECT_EQ(throttle.waitFor(a), expected[n - 1]) << n << " failures";
    // The wait runs from the last failure.
    clock.now += expected[n - 1] / 2;
    EXPECT_EQ(throttle.waitFor(a), expected[n - 1] - expected[n - 1] / 2) << n;
    clock.now += expected[n - 1] - expected[n - 1] / 2;
    EXPECT_EQ(throttle.waitFor(a), 0ms) << n;
  }
  // Other addresses are not slowed; a success forgets the address.
  EXPECT_EQ(throttle.waitFor("192.0.2.8"), 0ms);
  throttle.failed(a);
  EXPECT_GT(throttle.waitFor(a), 0ms);
  throttle.succeeded(a);
  EXPECT_EQ(throttle.waitFor(a), 0ms);
  for (int i = 0; i < 4; ++i) throttle.failed(a);
  EXPECT_EQ(throttle.waitFor(a), 0ms);
  throttle.failed(a);
  EXPECT_EQ(throttle.waitFor(a), 1000ms);
}

TEST(WebLoginThrottle, AQuietAddressIsForgottenAndMemoryIsBounded) {
  ManualClock clock;
  LoginThrottle throttle(clock.source());
  for (int i = 0; i < 8; ++i) throttle.failed("a");
  EXPECT_EQ(throttle.waitFor("a"), 8000ms);
  clock.now += 15min;
  EXPECT_EQ(throttle.waitFor("a"), 0ms);
  throttle.failed("a");  // counts from one again
  EXPECT_EQ(throttle.waitFor("a"), 0ms);

  for (std::size_t i = 0; i < LoginThrottle::kMaxAddresses + 100; ++i) {
    clock.now += 1ms;
    throttle.failed("10.1." + std::to_string(i));
  }
  EXPECT_LE(throttle.size(), LoginThrottle::kMaxAddresses);
}

}  // namespace
}  // namespace parvolin::web
