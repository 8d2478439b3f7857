#include "app/recorder_status.h"

namespace parvolin::app {

void StatusBoard::setListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void StatusBoard::publish(RecorderStatus status) {
  std::unique_lock lock(mutex_);
  status.version = status_.version;
  status.latestProblem = std::move(status_.latestProblem);
  status.problems = std::move(status_.problems);
  status_ = std::move(status);
  changed(lock);
}

RecorderStatus StatusBoard::snapshot() const {
  std::lock_guard lock(mutex_);
  return status_;
}

std::uint64_t StatusBoard::version() const {
  std::lock_guard lock(mutex_);
  return status_.version;
}

std::uint64_t StatusBoard::waitForChange(std::uint64_t seen,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return status_.version > seen; });
  return status_.version;
}

void StatusBoard::report(std::string_view text) {
  const std::int64_t now = clock_.wallSeconds();
  std::unique_lock lock(mutex_);
  problems_.add(now, text);
  status_.latestProblem = problems_.latestLine();
  status_.problems = problems_.listText();
  changed(lock);
}

void StatusBoard::changed(std::unique_lock<std::mutex>& lock) {
  ++status_.version;
  const Listener listener = listener_;
  lock.unlock();
  changed_.notify_all();
  if (listener) listener();
}

}  // namespace parvolin::app
