#include "app/headless.h"

#include "app/associations.h"
#include "app/headless_printer.h"
#include "app/poll_timer.h"
#include "app/recorder.h"
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

// Ticks on the wall clock at the timer's period until a signal arrives.
void tickOnWallClock(Recorder& recorder, LoopTimer& timer, base::Clock& clock,
                     SignalPipe& signals) {
  std::int64_t next = clock.monotonicMs() + timer.periodMs();
  while (timer.running()) {
    const std::int64_t wait = next - clock.monotonicMs();
    if (signals.wait(wait > 0 ? static_cast<int>(wait) : 0)) return;
    if (clock.monotonicMs() < next) continue;  // woken early
    recorder.tick();
    next += timer.periodMs();
    // A tick that took longer than a period does not make the next ones come in a burst.
    if (next < clock.monotonicMs()) next = clock.monotonicMs() + timer.periodMs();
  }
}

// Ticks as fast as the machine allows, the clock moved on by one period per tick, until the
// scenario is over or a signal arrives.
void tickOnVirtualClock(Recorder& recorder, LoopTimer& timer, base::Clock& clock,
                        std::optional<std::int64_t> stopAtMs, SignalPipe& signals) {
  while (timer.running() && (!stopAtMs || clock.monotonicMs() <= *stopAtMs + kScenarioDrainMs)) {
    if (signals.wait(0)) return;
    recorder.tick();
    clock.sleepMs(timer.periodMs());
  }
}

}  // namespace

int runHeadless(const HeadlessRun& run, UnitAccess& units) {
  // Installed first, so that a signal during start-up stops the run at its first tick instead of
  // killing the process with the units open.
  SignalPipe signals;
  base::StderrPrompt prompt;
  base::StderrDiagnostics diagnostics;
  XdgShell shell(userDataFolder());
  ProcessWorkingFolder workingFolder;
  HeadlessPrinter printer(run.out, units.clock);
  LoopTimer timer;
  Recorder recorder({units.d2xx, units.clock, run.store, prompt, diagnostics, shell, workingFolder,
                     printer, timer},
                    {run.options.folder, run.programFolder});

  // A capture that may not be written is refused before anything else happens.
  const engine::ExistingFile existing =
      run.options.force ? engine::ExistingFile::kReplace : engine::ExistingFile::kRefuse;
  if (run.options.capture) {
    if (const auto problem = engine::outputFileProblem(*run.options.capture, existing)) {
      std::fprintf(stderr, "parvolin: cannot write the capture: %s\n", problem->c_str());
      return kExitUsage;
    }
  }

  if (!recorder.start()) return kExitUnitUnreadable;
  if (recorder.open() != RecorderSession::OpenResult::Running) {
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
    if (const auto problem = recorder.startCapture(*run.options.capture, existing)) {
      std::fprintf(stderr, "parvolin: cannot write the capture: %s\n", problem->c_str());
      recorder.exit(RecorderSession::ExitQuestion::DontAsk);
      return kExitUsage;
    }
  }
  printer.start(recorder.fields().locationLine, recorder.visibleRows() * device::kPortsPerUnit);

  if (units.virtualClock) {
    tickOnVirtualClock(recorder, timer, units.clock, units.stopAtMonotonicMs, signals);
  } else {
    tickOnWallClock(recorder, timer, units.clock, signals);
  }
  recorder.exit(RecorderSession::ExitQuestion::DontAsk);
  printer.note(signals.signalNumber() != 0 ? "Stopped by a signal; units closed."
                                           : "Scenario over; units closed.");
  const std::vector<std::string> unwritten = recorder.unwrittenReport();
  for (const std::string& line : unwritten) diagnostics.report(line);
  return unwritten.empty() ? kExitStopped : kExitUnwritten;
}

}  // namespace parvolin::app
