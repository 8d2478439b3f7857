#include "app/recorder_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/recorder_status.h"
#include "base/clock.h"

namespace parvolin::app {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// A deadline for conditions, never a wait of its own.
constexpr auto kDeadline = 30s;

template <typename Condition>
bool waitFor(Condition condition) {
  const auto end = Steady::now() + kDeadline;
  while (!condition()) {
    if (Steady::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A thread whose ticks count themselves and note whether a command ever ran inside one.
struct Counted {
  std::atomic<int> ticks{0};
  std::atomic<int> afterEach{0};
  std::atomic<bool> inTick{false};
  std::atomic<bool> overlapped{false};
  RecorderThread thread{[this] {
                          inTick = true;
                          std::this_thread::sleep_for(2ms);
                          ++ticks;
                          inTick = false;
                        },
                        [this] { ++afterEach; }};
  void command() {
    if (inTick) overlapped = true;
  }
};

TEST(RecorderThread, TicksAtItsPeriodUntilStoppedAndAgainOnceRestarted) {
  Counted c;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(c.ticks, 0) << "no tick before the timer starts";
  EXPECT_FALSE(c.thread.isActive());
  EXPECT_FALSE(c.thread.start(0)) << "a period of 0 does not start";

  const auto started = Steady::now();
  ASSERT_TRUE(c.thread.start(20));
  EXPECT_TRUE(c.thread.isActive());
  EXPECT_EQ(c.thread.periodMs(), 20);
  ASSERT_TRUE(waitFor([&] { return c.ticks >= 5; }));
  // Five ticks at 20 ms take about 100 ms; never less than the periods themselves.
  EXPECT_GE(Steady::now() - started, 100ms);

  c.thread.call([&] { c.thread.stop(); });
  EXPECT_FALSE(c.thread.isActive());
  const int stoppedAt = c.ticks;
  std::this_thread::sleep_for(80ms);
  EXPECT_EQ(c.ticks, stoppedAt);

  c.thread.call([&] { c.thread.start(10); });
  EXPECT_TRUE(waitFor([&] { return c.ticks >= stoppedAt + 3; }));
}

// Commands from other threads run on the recorder's thread between ticks, in the order handed
// over; call() waits for its answer, which the publication after it already reflects.
TEST(RecorderThread, CommandsRunOnItsThreadBetweenTicksInOrder) {
  Counted c;
  c.thread.start(5);
  std::vector<int> order;  // the recorder thread's alone
  std::atomic<bool> elsewhere{false};
  std::vector<std::thread> senders;
  for (int s = 0; s < 3; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < 50; ++i) {
        c.thread.post([&] {
          c.command();
          if (!c.thread.onThread()) elsewhere = true;
        });
        if (i % 10 == 0) c.thread.call([&] { c.command(); });
      }
      (void)s;
    });
  }
  for (std::thread& t : senders) t.join();
  // Counted on the recorder's thread before the 20 are handed over, which may start at once.
  const int before = c.thread.call([&] { return int(c.afterEach); });
  for (int i = 0; i < 20; ++i) c.thread.post([&order, i] { order.push_back(i); });
  const std::size_t done = c.thread.call([&] { return order.size(); });
  EXPECT_EQ(done, 20u);
  EXPECT_GT(c.afterEach, before + 20) << "a publication after every command";
  for (int i = 0; i < 20; ++i) EXPECT_EQ(c.thread.call([&] { return order[std::size_t(i)]; }), i);
  EXPECT_FALSE(c.overlapped) << "a command ran inside a tick";
  EXPECT_FALSE(elsewhere);
  EXPECT_FALSE(c.thread.onThread());
}

// The Recorder's own calls come from its thread: a call() there runs at once instead of waiting
// for itself.
TEST(RecorderThread, ACallFromItsOwnThreadRunsAtOnce) {
  std::atomic<int> inner{0};
  RecorderThread* self = nullptr;
  RecorderThread thread([&] { inner = self->call([] { return 7; }); }, {});
  self = &thread;
  thread.call([&] { thread.start(5); });
  EXPECT_TRUE(waitFor([&] { return inner == 7; }));
}

TEST(RecorderThread, QuitRunsWhatWasHandedOverThenCallsRunOnTheCaller) {
  std::atomic<int> ran{0};
  auto thread = std::make_unique<RecorderThread>([] {}, [] {});
  for (int i = 0; i < 10; ++i) {
    thread->post([&] {
      std::this_thread::sleep_for(1ms);
      ++ran;
    });
  }
  thread->quit();
  EXPECT_EQ(ran, 10);
  EXPECT_FALSE(thread->running());
  thread->post([&] { ++ran; });
  EXPECT_EQ(ran, 10) << "dropped after quit";
  const auto caller = std::this_thread::get_id();
  EXPECT_EQ(thread->call([] { return std::this_thread::get_id(); }), caller);
  thread->quit();  // again: nothing
  thread.reset();
}

// A tick that overran its period is followed by the next one a period later, not by a burst.
TEST(RecorderThread, AnOverrunTickDoesNotBringABurst) {
  std::vector<Steady::time_point> at;  // the thread's alone until it ended
  std::atomic<int> ticks{0};
  RecorderThread thread(
      [&] {
        at.push_back(Steady::now());
        if (++ticks == 2) std::this_thread::sleep_for(200ms);
      },
      {});
  thread.call([&] { thread.start(20); });
  ASSERT_TRUE(waitFor([&] { return ticks >= 4; }));
  thread.quit();
  EXPECT_GE(at[2] - at[1], 200ms);
  // A burst would bring it within a millisecond; a tick that came late keeps the timer's phase,
  // so the next one may be due a few milliseconds sooner than a whole period.
  EXPECT_GE(at[3] - at[2], 10ms) << "the tick after an overrun came at once";

  // The gaps tell how late the units were read.
  const PollGaps gaps = thread.pollGaps();
  EXPECT_EQ(gaps.count, ticks - 1);
  EXPECT_GE(gaps.maxMs, 200);
  EXPECT_GE(gaps.p99Ms, 200) << "one gap in a handful is above the 99th percentile's share";
  EXPECT_LE(gaps.p99Ms, gaps.maxMs);
  thread.resetPollGaps();
  EXPECT_EQ(thread.pollGaps().count, 0);
  EXPECT_EQ(thread.pollGaps().maxMs, 0);
}

TEST(RecorderThread, ThePercentileOfManyEvenGapsIsTheirPeriod) {
  std::atomic<int> ticks{0};
  RecorderThread thread([&] { ++ticks; }, {});
  thread.call([&] { thread.start(5); });
  ASSERT_TRUE(waitFor([&] { return ticks >= 120; }));
  thread.quit();
  const PollGaps gaps = thread.pollGaps();
  EXPECT_GE(gaps.count, 119);
  // On a loaded machine some come late; most do not, so the 99th percentile is far below the
  // sum of them all.
  EXPECT_GE(gaps.p99Ms, 4);
  EXPECT_LE(gaps.p99Ms, gaps.maxMs);
}

TEST(StatusBoard, PublishesCopiesKeepsProblemsAndWakesWaiters) {
  base::SystemClock clock;
  StatusBoard board(clock);
  std::atomic<int> told{0};
  // The listener may read the board: it is called outside the lock.
  board.setListener([&] {
    (void)board.snapshot();
    ++told;
  });
  EXPECT_EQ(board.version(), 0u);
  EXPECT_EQ(board.waitForChange(0, 20ms), 0u) << "nothing published: the wait times out";

  board.report("the list could not be written");
  RecorderStatus status;
  status.statusText[0] = " Port:  1            IDLE";
  status.ticks = 3;
  board.publish(status);
  const RecorderStatus shown = board.snapshot();
  EXPECT_EQ(shown.version, 2u);
  EXPECT_EQ(shown.statusText[0], status.statusText[0]);
  EXPECT_EQ(shown.ticks, 3);
  EXPECT_NE(shown.latestProblem.find("the list could not be written"), std::string::npos)
      << "a publication keeps the problems reported before it";
  EXPECT_NE(shown.problems.find("the list could not be written"), std::string::npos);
  EXPECT_EQ(told, 2);

  std::thread publisher([&] {
    std::this_thread::sleep_for(30ms);
    board.publish(status);
  });
  EXPECT_EQ(board.waitForChange(2, kDeadline), 3u);
  publisher.join();
}

}  // namespace
}  // namespace parvolin::app
