#pragma once

namespace parvolin::app {

// The main window's PollTimer (id 10): calls the engine's onPollTick every period until stopped.
class PollTimer {
 public:
  virtual ~PollTimer() = default;
  // Starts, or restarts with a new period; false when the timer cannot be started.
  [[nodiscard]] virtual bool start(int periodMs) = 0;
  virtual void stop() = 0;
};

}  // namespace parvolin::app
