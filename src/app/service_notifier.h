#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"

namespace parvolin::app {

// What the headless recorder tells a service manager (systemd, Type=notify): that it is ready
// once the units are set up, a status line, the keep-alive of the watchdog, and that it stops.
// Without a service manager (no NOTIFY_SOCKET), or in a build without libsystemd, every call
// does nothing.
class ServiceNotifier {
 public:
  ServiceNotifier();

  // Whether this build can talk to a service manager at all.
  static bool available();

  void ready(std::string_view status);
  // Sends the status line when it differs from the last one sent.
  void status(std::string_view status);
  void stopping(std::string_view status);
  // The watchdog's keep-alive; sent at most every half of the watchdog's time, so that it can be
  // called on every poll tick.
  void keepAlive();

 private:
  void send(const std::string& message);

  std::string lastStatus_;
  // Half the watchdog's time; zero when no watchdog watches this process.
  std::chrono::microseconds keepAliveEvery_{0};
  std::chrono::steady_clock::time_point lastKeepAlive_{};
};

// The status line: the lines in a call out of those the units serve, and the last problem the
// recorder reported, e.g. "2 of 8 lines in a call; last problem 14:05:09: ...". Text from outside
// (file names in a problem) is shown escaped.
std::string serviceStatusLine(int linesInCall, int linesServed, std::string_view lastProblem,
                              std::string_view freeSpace = {});

// Passes every problem on and keeps the last one, with its local time, for the status line. Both
// the diagnostics and the messages of the headless prompt are problems.
class LastProblem final : public base::Diagnostics, public base::Prompt {
 public:
  LastProblem(base::Diagnostics& diagnostics, base::Prompt& prompt, base::Clock& clock)
      : diagnostics_(diagnostics), prompt_(prompt), clock_(clock) {}

  void report(std::string_view text) override;
  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    return prompt_.askYesNo(text, safeAnswer, icon);
  }
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    return prompt_.askOkCancel(text, safeAnswer, icon);
  }

  // "HH:MM:SS: text" of the last problem; empty while there was none.
  const std::string& text() const { return last_; }

 private:
  void keep(std::string_view text);

  base::Diagnostics& diagnostics_;
  base::Prompt& prompt_;
  base::Clock& clock_;
  std::string last_;
};

}  // namespace parvolin::app
