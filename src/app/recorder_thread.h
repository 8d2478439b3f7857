#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "app/poll_timer.h"

namespace parvolin::app {

// The gaps between the starts of two ticks in a row, since the timer (re)started or the last
// reset: how late the units were read.
struct PollGaps {
  std::int64_t count = 0;
  double maxMs = 0;  // the longest
  double p99Ms = 0;  // 99 of 100 gaps were at most this long (to the millisecond above)
};

// The recorder's own thread: its PollTimer on the steady clock, and the commands other threads
// hand to it, run between two ticks. Nothing a window does (a modal dialog, a long sort, a slow
// X server) runs here, so no user action delays a poll.
//
// The Recorder is driven from this thread only once it runs: its open() and exit sequence, its
// ticks and every command between them (list edits, settings, the folder, unit commands). Other
// threads reach it through post() (fire and forget) and call() (waits for the answer); what they
// show comes from a StatusBoard that `afterEach` publishes to. As a PollTimer, start() and stop()
// are called by the Recorder on this thread; the period is read from any thread.
class RecorderThread final : public PollTimer {
 public:
  using Task = std::function<void()>;

  // `tick` runs at every timer period while the timer runs; `afterEach` after every tick and
  // after every command (before call() returns), e.g. to publish the status. Both on the thread.
  RecorderThread(Task tick, Task afterEach);
  // quit(): the commands already handed over run, then the thread ends.
  ~RecorderThread() override;

  RecorderThread(const RecorderThread&) = delete;
  RecorderThread& operator=(const RecorderThread&) = delete;

  // PollTimer. The first tick comes one period after start().
  bool start(int periodMs) override;
  void stop() override;
  bool isActive() const { return periodMs_.load() > 0; }
  // The running timer's period; 0 while stopped.
  int periodMs() const { return periodMs_.load(); }

  // Hands `task` to the thread, which runs it before its next tick. After quit() it is dropped.
  void post(Task task);
  // Runs `task` on the thread between two ticks and returns its result; the caller waits. On the
  // thread itself it runs at once. After quit() the task runs on the caller's thread, since the
  // recorder's thread no longer touches anything.
  template <typename F>
  auto call(F&& task) -> std::invoke_result_t<F&> {
    using Result = std::invoke_result_t<F&>;
    if (onThread() || !running()) return task();
    std::promise<Result> promise;
    std::future<Result> result = promise.get_future();
    // The publication after the command comes before the answer, so that the caller sees its
    // effect in the status at once.
    const bool queued = enqueue([&] {
      try {
        if constexpr (std::is_void_v<Result>) {
          task();
          if (afterEach_) afterEach_();
          promise.set_value();
        } else {
          Result value = task();
          if (afterEach_) afterEach_();
          promise.set_value(std::move(value));
        }
      } catch (...) {
        promise.set_exception(std::current_exception());
      }
    });
    if (!queued) {
      quit();  // the thread is ending: wait for it, then run here
      return task();
    }
    return result.get();
  }
  // Ends the thread after the commands handed over so far, and waits for it. Idempotent.
  void quit();

  // From any thread.
  PollGaps pollGaps() const;
  void resetPollGaps();

  bool onThread() const { return std::this_thread::get_id() == id_.load(); }
  bool running() const { return !quitting_.load(); }

 private:
  bool enqueue(Task task);
  void loop();
  void noteTickStart();

  // Gaps by whole milliseconds up to 10 s, the rest in the last; guarded by gapsMutex_.
  static constexpr std::size_t kGapBuckets = 10'001;
  mutable std::mutex gapsMutex_;
  std::vector<std::int64_t> gapCounts_ = std::vector<std::int64_t>(kGapBuckets, 0);
  std::int64_t gapCount_ = 0;
  double gapMaxMs_ = 0;
  std::chrono::steady_clock::time_point lastTick_{};  // none since the (re)start

  Task tick_;
  Task afterEach_;
  std::atomic<int> periodMs_{0};
  std::atomic<bool> quitting_{false};
  std::atomic<std::thread::id> id_{};
  std::mutex joinMutex_;  // one joins at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  // Guarded by mutex_: the commands waiting, whether the timer was (re)started since the loop
  // last looked, and whether the loop is to end.
  std::deque<Task> tasks_;
  bool restarted_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace parvolin::app
