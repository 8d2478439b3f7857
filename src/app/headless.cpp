#include "app/headless.h"

#include "app/associations.h"
#include "app/headless_printer.h"
#include "app/poll_timer.h"
#include "app/recorder_session.h"
#include "app/signal_pipe.h"
#include "app/startup.h"
#include "app/window_fields.h"
#include "app/working_folder.h"
#include "app/xdg_shell.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "device/unit_link.h"
#include "engine/engine.h"
#include "engine/stream_capture.h"

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
void tickOnWallClock(engine::Engine& engine, LoopTimer& timer, base::Clock& clock,
                     SignalPipe& signals) {
  std::int64_t next = clock.monotonicMs() + timer.periodMs();
  while (timer.running()) {
    const std::int64_t wait = next - clock.monotonicMs();
    if (signals.wait(wait > 0 ? static_cast<int>(wait) : 0)) return;
    if (clock.monotonicMs() < next) continue;  // woken early
    engine.onPollTick();
    next += timer.periodMs();
    // A tick that took longer than a period does not make the next ones come in a burst.
    if (next < clock.monotonicMs()) next = clock.monotonicMs() + timer.periodMs();
  }
}

// Ticks as fast as the machine allows, the clock moved on by one period per tick, until the
// scenario is over or a signal arrives.
void tickOnVirtualClock(engine::Engine& engine, LoopTimer& timer, base::Clock& clock,
                        std::optional<std::int64_t> stopAtMs, SignalPipe& signals) {
  while (timer.running() && (!stopAtMs || clock.monotonicMs() <= *stopAtMs + kScenarioDrainMs)) {
    if (signals.wait(0)) return;
    engine.onPollTick();
    clock.sleepMs(timer.periodMs());
  }
}

// The capture's header: the units as the opening left them.
engine::CaptureHeader captureHeader(const device::UnitLink& link, const engine::Engine& engine,
                                    const RecorderSession& session, base::Clock& clock) {
  engine::CaptureHeader header;
  header.startEpoch = static_cast<std::uint32_t>(clock.wallSeconds());
  for (int u = 0; u < device::kMaxUnits; ++u) {
    engine::CaptureUnit& unit = header.units[u];
    unit.flags = static_cast<std::uint8_t>((link.isListed(u) ? engine::kUnitListed : 0) |
                                           (session.idleUnits()[u] ? engine::kUnitIdle : 0) |
                                           (session.setUpUnits()[u] ? engine::kUnitSetUp : 0));
    unit.audioMode = engine.audioMode[u];
    unit.varOffDelay = static_cast<std::uint8_t>(engine.varOffDelay[u]);
  }
  return header;
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
  device::UnitLink link(units.d2xx, units.clock);

  StartupOptions startup;
  startup.folderOverride = run.options.folder;
  startup.programFolder = run.programFolder;
  StartupResult started = runStartup(startup, {&link, run.store, prompt, shell, workingFolder});
  if (!started.ok) return kExitUnitUnreadable;

  HeadlessPrinter printer(run.out, units.clock);
  WindowFields fields(printer);
  engine::Engine engine(link, units.clock, started.settings, started.recordingFolder, fields,
                        diagnostics, prompt);
  LoopTimer timer;
  RecorderSession session(link, engine, started.settings, fields, timer, prompt,
                          started.recordingFolder, started.shownFolder);

  if (session.open() != RecorderSession::OpenResult::Running) {
    session.exitRecorder(RecorderSession::ExitQuestion::DontAsk);
    return kExitSetUpFailed;
  }
  if (session.pollPeriod() == device::kPollPeriodWithoutUnitsMs) {
    // The window shows this as "NONE" lines; on a terminal the reason helps (permissions, a
    // missing library).
    const std::string why = units.d2xx.lastError();
    diagnostics.report(why.empty() ? "no recorder unit found" : "no recorder unit found: " + why);
  }
  std::unique_ptr<engine::CaptureWriter> capture;
  if (run.options.capture) {
    std::error_code error;
    capture = engine::CaptureWriter::create(*run.options.capture,
                                            captureHeader(link, engine, session, units.clock),
                                            diagnostics, error);
    if (!capture) {
      std::fprintf(stderr, "parvolin: cannot write the capture %s: %s\n",
                   run.options.capture->string().c_str(), error.message().c_str());
      session.exitRecorder(RecorderSession::ExitQuestion::DontAsk);
      return kExitUsage;
    }
    engine.setCapture(capture.get());
  }
  printer.start(fields.locationLine, session.visibleRows() * device::kPortsPerUnit);

  if (units.virtualClock) {
    tickOnVirtualClock(engine, timer, units.clock, units.stopAtMonotonicMs, signals);
  } else {
    tickOnWallClock(engine, timer, units.clock, signals);
  }
  session.exitRecorder(RecorderSession::ExitQuestion::DontAsk);
  engine.setCapture(nullptr);
  printer.note(signals.signalNumber() != 0 ? "Stopped by a signal; units closed."
                                           : "Scenario over; units closed.");
  return kExitStopped;
}

}  // namespace parvolin::app
