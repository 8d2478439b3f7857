#include "app/headless.h"

#include "app/associations.h"
#include "app/control_target.h"
#include "app/headless_printer.h"
#include "app/poll_timer.h"
#include "app/recorder.h"
#include "app/run_end.h"
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

// The service manager's status line, from the status the control socket serves.
std::string statusLine(const parvolin::control::StatusSnapshot& status) {
  return serviceStatusLine(status.linesInCall(), status.linesServed(), status.lastProblemText(),
                           status.capacity.freeText);
}

// Around every tick: the control socket's edits handed in before, its status published after;
// then the service manager's status line when it changed, and the watchdog's keep-alive.
struct ServiceUpdates {
  ServiceNotifier& notifier;
  RecorderControl& control;
  void tick(Recorder& recorder) {
    control.beforeTick();
    recorder.tick();
    control.afterTick();
    notifier.status(statusLine(control.status()));
    notifier.keepAlive();
  }
  std::string line() {
    control.publish();
    return statusLine(control.status());
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
    service.tick(recorder);
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
    service.tick(recorder);
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
  // Every problem also goes into the status the control socket and the service manager's
  // status line show.
  ProblemTap problems(stderrDiagnostics, stderrPrompt);
  base::Prompt& prompt = problems;
  base::Diagnostics& diagnostics = problems;
  ServiceNotifier notifier;
  XdgShell shell(userDataFolder());
  ProcessWorkingFolder workingFolder;
  HeadlessPrinter printer(run.out, units.clock);
  LoopTimer timer;
  Recorder recorder({units.d2xx, units.clock, run.store, prompt, diagnostics, shell, workingFolder,
                     printer, timer, nullptr, units.notifications},
                    {run.options.folder, run.programFolder, run.options.config});
  RecorderControl control(recorder, units.clock);
  problems.attach(&control);
  ServiceUpdates service{notifier, control};

  // A capture that may not be written is refused before anything else happens.
  if (!captureMayBeWritten(run.options, stderr)) return kExitUsage;

  if (!recorder.start()) {
    notifier.stopping(service.line());
    return kExitUnitUnreadable;
  }
  if (recorder.open() != RecorderSession::OpenResult::Running) {
    notifier.stopping(service.line());
    recorder.exit(RecorderSession::ExitQuestion::DontAsk);
    return kExitSetUpFailed;
  }
  if (!recorder.unitsFound()) {
    // The window shows this as "NONE" lines; on a terminal the reason helps (permissions, a
    // missing library).
    const std::string why = units.d2xx.lastError();
    diagnostics.report(why.empty() ? "no recorder unit found" : "no recorder unit found: " + why);
  }
  if (run.options.capture) {
    if (const auto problem =
            recorder.startCapture(*run.options.capture, captureExistingFile(run.options))) {
      std::fprintf(stderr, "parvolin: cannot write the capture: %s\n", problem->c_str());
      notifier.stopping(service.line());
      recorder.exit(RecorderSession::ExitQuestion::DontAsk);
      return kExitUsage;
    }
  }
  printer.start(recorder.fields().locationLine, recorder.visibleRows() * device::kPortsPerUnit);
  // Clients may connect once the units are set up; a recorder without its socket still records.
  if (const auto problem = control.listen()) diagnostics.report(*problem);
  // The units are set up and polled: the service is up.
  notifier.ready(service.line());

  if (units.virtualClock) {
    tickOnVirtualClock(recorder, timer, units.clock, units.stopAtMonotonicMs, signals, service);
  } else {
    tickOnWallClock(recorder, timer, units.clock, signals, service);
  }
  notifier.stopping(service.line());
  control.stop();
  recorder.exit(RecorderSession::ExitQuestion::DontAsk);
  printer.note(signals.signalNumber() != 0 ? "Stopped by a signal; units closed."
                                           : "Scenario over; units closed.");
  return finish(recorder, diagnostics);
}

}  // namespace parvolin::app
