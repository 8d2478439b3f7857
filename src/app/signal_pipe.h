#pragma once

#include <csignal>

namespace parvolin::app {

// Turns SIGINT, SIGTERM and SIGHUP into a byte on a pipe, so that the recorder stops from its
// own loop and never does more inside a signal handler than one write. One instance at a time;
// the previous handlers come back when it is destroyed.
class SignalPipe {
 public:
  SignalPipe();
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  bool valid() const { return readFd_ >= 0; }
  // The pipe's end that becomes readable when a signal arrives (for an event loop's notifier);
  // -1 without a pipe. Call wait(0) when it does.
  int readFd() const { return readFd_; }
  // Waits up to `timeoutMs` (0: just looks) for a signal; true once one has arrived. Stays true.
  bool wait(int timeoutMs);
  // The signal that arrived, 0 while none.
  int signalNumber() const { return signal_; }

 private:
  int readFd_ = -1;
  int signal_ = 0;
  struct sigaction previous_[3] = {};
};

}  // namespace parvolin::app
