#include "app/signal_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace parvolin::app {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t gWriteFd = -1;

void onSignal(int number) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  if (gWriteFd >= 0) {
    [[maybe_unused]] const ssize_t ignored = write(gWriteFd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

SignalPipe::SignalPipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readFd_ = fds[0];
  gWriteFd = fds[1];
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

SignalPipe::~SignalPipe() {
  if (readFd_ < 0) return;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  const int writeFd = gWriteFd;
  gWriteFd = -1;
  close(writeFd);
  close(readFd_);
}

bool SignalPipe::wait(int timeoutMs) {
  if (signal_ != 0) return true;
  if (readFd_ < 0) {
    // No pipe (no descriptor was left for it): still wait, so that the loop does not spin.
    if (timeoutMs > 0) poll(nullptr, 0, timeoutMs);
    return false;
  }
  pollfd p = {readFd_, POLLIN, 0};
  int rc = 0;
  do {
    rc = poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
  } while (rc < 0 && errno == EINTR && timeoutMs == 0);
  if (rc <= 0) return false;
  unsigned char byte = 0;
  if (read(readFd_, &byte, 1) == 1) signal_ = byte;
  return signal_ != 0;
}

}  // namespace parvolin::app
