#pragma once

#include <QTimer>
#include <functional>

#include "app/poll_timer.h"

namespace parvolin::app::ui {

// The PollTimer as a QTimer on the window's thread: its ticks come from whichever event loop
// runs, the main one or that of a modal dialog or message box.
class QtPollTimer final : public PollTimer {
 public:
  explicit QtPollTimer(std::function<void()> onTick);

  // False when the timer did not start (no event loop can serve this thread).
  bool start(int periodMs) override;
  void stop() override { timer_.stop(); }

  bool isActive() const { return timer_.isActive(); }
  int periodMs() const { return timer_.interval(); }
  QTimer& timer() { return timer_; }

 private:
  QTimer timer_;
};

}  // namespace parvolin::app::ui
