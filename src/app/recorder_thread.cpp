#include "app/recorder_thread.h"

#include <algorithm>

namespace parvolin::app {

RecorderThread::RecorderThread(Task tick, Task afterEach)
    : tick_(std::move(tick)), afterEach_(std::move(afterEach)), thread_([this] { loop(); }) {}

RecorderThread::~RecorderThread() {
  quit();
}

bool RecorderThread::start(int periodMs) {
  if (periodMs <= 0) return false;
  std::lock_guard lock(mutex_);
  periodMs_ = periodMs;
  restarted_ = true;
  wake_.notify_all();
  return true;
}

void RecorderThread::stop() {
  std::lock_guard lock(mutex_);
  periodMs_ = 0;
  wake_.notify_all();
}

void RecorderThread::post(Task task) {
  enqueue(std::move(task));
}

bool RecorderThread::enqueue(Task task) {
  std::lock_guard lock(mutex_);
  if (stop_) return false;
  tasks_.push_back(std::move(task));
  wake_.notify_all();
  return true;
}

void RecorderThread::quit() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    wake_.notify_all();
  }
  std::lock_guard joining(joinMutex_);
  if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) thread_.join();
  quitting_ = true;
}

void RecorderThread::noteTickStart() {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(gapsMutex_);
  if (lastTick_ != std::chrono::steady_clock::time_point{}) {
    const double ms = std::chrono::duration<double, std::milli>(now - lastTick_).count();
    gapCounts_[std::min(kGapBuckets - 1, static_cast<std::size_t>(ms))]++;
    ++gapCount_;
    gapMaxMs_ = std::max(gapMaxMs_, ms);
  }
  lastTick_ = now;
}

PollGaps RecorderThread::pollGaps() const {
  std::lock_guard lock(gapsMutex_);
  PollGaps gaps;
  gaps.count = gapCount_;
  gaps.maxMs = gapMaxMs_;
  // The smallest whole millisecond that 99% of the gaps stay below.
  const std::int64_t within = (gapCount_ * 99 + 99) / 100;
  std::int64_t seen = 0;
  for (std::size_t ms = 0; ms < kGapBuckets && gapCount_ > 0; ++ms) {
    seen += gapCounts_[ms];
    if (seen >= within) {
      gaps.p99Ms = std::min(double(ms + 1), gapMaxMs_);
      break;
    }
  }
  return gaps;
}

void RecorderThread::resetPollGaps() {
  std::lock_guard lock(gapsMutex_);
  std::fill(gapCounts_.begin(), gapCounts_.end(), 0);
  gapCount_ = 0;
  gapMaxMs_ = 0;
  lastTick_ = {};
}

void RecorderThread::loop() {
  using Clock = std::chrono::steady_clock;
  id_ = std::this_thread::get_id();
  Clock::time_point next{};
  std::unique_lock lock(mutex_);
  for (;;) {
    if (restarted_) {
      restarted_ = false;
      next = Clock::now() + std::chrono::milliseconds(periodMs_.load());
      std::lock_guard gaps(gapsMutex_);
      lastTick_ = {};
    }
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      if (afterEach_) afterEach_();
      lock.lock();
      continue;
    }
    if (stop_) break;
    const int period = periodMs_.load();
    if (period <= 0) {
      wake_.wait(lock);
      continue;
    }
    if (Clock::now() < next) {
      wake_.wait_until(lock, next);
      continue;
    }
    lock.unlock();
    noteTickStart();
    tick_();
    if (afterEach_) afterEach_();
    lock.lock();
    next += std::chrono::milliseconds(period);
    // A tick that took longer than a period does not make the next ones come in a burst.
    const Clock::time_point now = Clock::now();
    if (next < now) next = now + std::chrono::milliseconds(period);
  }
}

}  // namespace parvolin::app
