#include "app/headless.h"

#include "app/associations.h"
#include "app/headless_printer.h"
#include "app/poll_timer.h"
#include "app/recorder.h"
#include "app/service_notifier.h"
#include "app/signal_pipe.h"
#include "app/working_folder.h"
#include "app/xdg_shell.h"
#include "base/diagnostics.h"
#include "base/prompt.h"

namespace parvolin::app {
namespace {

// Once a scenario is over, the units are polled this much longer so that the last records,
// still on their way, are read.
constexpr std::int64_t kScenarioDrainMs = 2000;

// The PollTimer of a loop that runs on this thread.
class LoopTimer final : public PollTimer {
 public:
  bool start(int periodMs) override {
    periodMs_ = periodMs;
    running_ = true;
    return true;
  }
  void stop() override { running_ = false; }
  bool running() const { return running_; }
  int periodMs() const { return periodMs_; }

 private:
  bool running_ = false;
  int periodMs_ = 0;
};

// The service manager's status line for the recorder as it is now.
std::string statusLine(const Recorder& recorder, const LastProblem& problems) {
  int served = 0, inCall = 0;
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (!recorder.unit(u).present) continue;
    for (int p = u * device::kPortsPerUnit; p < (u + 1) * device::kPortsPerUnit; ++p) {
      ++served;
      if (recorder.engine() && recorder.engine()->port(p).record.callType != engine::kCallIdle) {
        ++inCall;
      }
    }
  }
  return serviceStatusLine(inCall, served, problems.text());
}

// After every tick: the status line when it changed, and the watchdog's keep-alive.
struct ServiceUpdates {
  ServiceNotifier& notifier;
  const LastProblem& problems;
  void afterTick(const Recorder& recorder) {
    notifier.status(statusLine(recorder, problems));
    notifier.keepAlive();
  }
};

// Ticks on the wall clock at the timer's period until a signal arrives.
void tickOnWallClock(Recorder& recorder, LoopTimer& timer, base::Clock& clock, SignalPipe& signals,
                     ServiceUpdates& service) {
  std::int64_t next = clock.monotonicMs() + timer.periodMs();
  while (timer.running()) {
    const std::int64_t wait = next - clock.monotonicMs();
    if (signals.wait(wait > 0 ? static_cast<int>(wait) : 0)) return;
    if (clock.monotonicMs() < next) continue;  // woken early
    recorder.tick();
    service.afterTick(recorder);
    next += timer.periodMs();
    // A tick that took longer than a period does not make the next ones come in a burst.
    if (next < clock.monotonicMs()) next = clock.monotonicMs() + timer.periodMs();
  }
}

// Ticks as fast as the machine allows, the clock moved on by one period per tick, until the
// scenario is over or a signal arrives.
void tickOnVirtualClock(Recorder& recorder, LoopTimer& timer, base::Clock& clock,
                        std::optional<std::int64_t> stopAtMs, SignalPipe& signals,
                        ServiceUpdates& service) {
  while (timer.running() && (!stopAtMs || clock.monotonicMs() <= *stopAtMs + kScenarioDrainMs)) {
    if (signals.wait(0)) return;
    recorder.tick();
    service.afterTick(recorder);
    clock.sleepMs(timer.periodMs());
  }
}

}  // namespace

int runHeadless(const HeadlessRun& run, UnitAccess& units) {
  // Installed first, so that a signal during start-up stops the run at its first tick instead of
  // killing the process with the units open.
  SignalPipe signals;
  base::StderrPrompt stderrPrompt;
  base::StderrDiagnostics stderrDiagnostics;
  // Every problem also goes into the service manager's status line.
  LastProblem problems(stderrDiagnostics, stderrPrompt, units.clock);
  base::Prompt& prompt = problems;
  base::Diagnostics& diagnostics = problems;
  ServiceNotifier notifier;
  ServiceUpdates service{notifier, problems};
  XdgShell shell(userDataFolder());
  ProcessWorkingFolder workingFolder;
  HeadlessPrinter printer(run.out, units.clock);
  LoopTimer timer;
  Recorder recorder({units.d2xx, units.clock, run.store, prompt, diagnostics, shell, workingFolder,
                     printer, timer},
                    {run.options.folder, run.programFolder});

  // A capture that may not be written is refused before anything else happens.
  if (!captureMayBeWritten(run.options, stderr)) return kExitUsage;

  if (!recorder.start()) {
    notifier.stopping(statusLine(recorder, problems));
    return kExitUnitUnreadable;
  }
  if (recorder.open() != RecorderSession::OpenResult::Running) {
    notifier.stopping(statusLine(recorder, problems));
    recorder.exit(RecorderSession::ExitQuestion::DontAsk);
    return kExitSetUpFailed;
  }
  if (recorder.pollPeriodMs() == device::kPollPeriodWithoutUnitsMs) {
    // The window shows this as "NONE" lines; on a terminal the reason helps (permissions, a
    // missing library).
    const std::string why = units.d2xx.lastError();
    diagnostics.report(why.empty() ? "no recorder unit found" : "no recorder unit found: " + why);
  }
  if (run.options.capture) {
    if (const auto problem =
            recorder.startCapture(*run.options.capture, captureExistingFile(run.options))) {
      std::fprintf(stderr, "parvolin: cannot write the capture: %s\n", problem->c_str());
      notifier.stopping(statusLine(recorder, problems));
      recorder.exit(RecorderSession::ExitQuestion::DontAsk);
      return kExitUsage;
    }
  }
  printer.start(recorder.fields().locationLine, recorder.visibleRows() * device::kPortsPerUnit);
  // The units are set up and polled: the service is up.
  notifier.ready(statusLine(recorder, problems));

  if (units.virtualClock) {
    tickOnVirtualClock(recorder, timer, units.clock, units.stopAtMonotonicMs, signals, service);
  } else {
    tickOnWallClock(recorder, timer, units.clock, signals, service);
  }
  notifier.stopping(statusLine(recorder, problems));
  recorder.exit(RecorderSession::ExitQuestion::DontAsk);
  printer.note(signals.signalNumber() != 0 ? "Stopped by a signal; units closed."
                                           : "Scenario over; units closed.");
  const std::vector<std::string> unwritten = recorder.unwrittenReport();
  for (const std::string& line : unwritten) diagnostics.report(line);
  return unwritten.empty() ? kExitStopped : kExitUnwritten;
}

}  // namespace parvolin::app
