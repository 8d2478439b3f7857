#include "app/service_notifier.h"

#include "base/clock.h"
#include "base/program_text.h"

#ifdef PARVOLIN_WITH_LIBSYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace parvolin::app {

ServiceNotifier::ServiceNotifier() {
#ifdef PARVOLIN_WITH_LIBSYSTEMD
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
    keepAliveEvery_ = std::chrono::microseconds(usec / 2);
  }
#endif
}

bool ServiceNotifier::available() {
#ifdef PARVOLIN_WITH_LIBSYSTEMD
  return true;
#else
  return false;
#endif
}

void ServiceNotifier::send([[maybe_unused]] const std::string& message) {
#ifdef PARVOLIN_WITH_LIBSYSTEMD
  // Without NOTIFY_SOCKET this does nothing; a failure to send changes nothing for the recording.
  sd_notify(0, message.c_str());
#endif
}

void ServiceNotifier::ready(std::string_view status) {
  lastStatus_ = status;
  send("READY=1\nSTATUS=" + lastStatus_);
  lastKeepAlive_ = std::chrono::steady_clock::now();
}

void ServiceNotifier::status(std::string_view status) {
  if (status == lastStatus_) return;
  lastStatus_ = status;
  send("STATUS=" + lastStatus_);
}

void ServiceNotifier::stopping(std::string_view status) {
  lastStatus_ = status;
  send("STOPPING=1\nSTATUS=" + lastStatus_);
}

void ServiceNotifier::keepAlive() {
  if (keepAliveEvery_.count() == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastKeepAlive_ < keepAliveEvery_) return;
  lastKeepAlive_ = now;
  send("WATCHDOG=1");
}

std::string serviceStatusLine(int linesInCall, int linesServed, std::string_view lastProblem,
                              std::string_view freeSpace) {
  std::string line = linesServed == 0 ? std::string("no recorder unit")
                                      : std::to_string(linesInCall) + " of " +
                                            std::to_string(linesServed) + " lines in a call";
  if (!freeSpace.empty()) {
    line += "; ";
    line += freeSpace;
  }
  if (!lastProblem.empty()) {
    line += "; last problem ";
    line += base::printable(lastProblem);
  }
  return line;
}

void LastProblem::keep(std::string_view text) {
  last_ = base::localTimeText(clock_.wallSeconds(), base::kTimeOfDayFormat) + ": ";
  last_ += text;
}

void LastProblem::report(std::string_view text) {
  keep(text);
  diagnostics_.report(text);
}

void LastProblem::message(std::string_view text, base::PromptIcon icon) {
  keep(text);
  prompt_.message(text, icon);
}

}  // namespace parvolin::app
