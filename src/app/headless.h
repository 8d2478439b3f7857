#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/parvolin_options.h"
#include "base/clock.h"
#include "base/exit_status.h"
#include "device/d2xx.h"
#include "device/device_notifications.h"
#include "settings/settings_store.h"

namespace parvolin::engine {
enum class ReplayResult;
}  // namespace parvolin::engine

namespace parvolin::app {

// Exit statuses of the recorder (the programs' table: base/exit_status.h).
inline constexpr int kExitStopped = base::kExitOk;             // stopped by a signal or a scenario
inline constexpr int kExitUnitUnreadable = base::kExitFailed;  // "Failed to read from Parvolin"
inline constexpr int kExitFolderUnusable = base::kExitFailed;  // --folder unusable, or held
inline constexpr int kExitUsage = base::kExitUsage;            // bad command line, capture refused
inline constexpr int kExitSetUpFailed = base::kExitSetUp;      // a unit set-up failed
// Stopped, but audio, call records or rows could not all be written (the summary names them).
inline constexpr int kExitUnwritten = base::kExitIncomplete;

// How the units are reached for one run.
struct UnitAccess {
  device::D2xx& d2xx;
  base::Clock& clock;
  // Emulated units on a virtual clock: ticks follow each other at once, the clock moved on by
  // the period, and the run stops by itself once the clock's monotonic time passes
  // `stopAtMonotonicMs` (the end of the scenario), as on a signal. Without a stop it runs until
  // a signal.
  bool virtualClock = false;
  std::optional<std::int64_t> stopAtMonotonicMs;
  // Announces units plugged in during the run (RecorderServices::notifications); may be null.
  device::DeviceNotifications* notifications = nullptr;
};

struct HeadlessRun {
  const ParvolinOptions& options;
  settings::SettingsStore& store;
  std::filesystem::path programFolder;  // where lvplayer and LvSvr are installed
  std::FILE* out = stdout;              // port lines and capacity texts
};

// The recorder without a window: start-up, opening, PollTimer ticks until SIGINT, SIGTERM or
// SIGHUP (or the scenario's end), then the exit sequence without its question. Messages and
// diagnostics go to standard error, and at the end a summary of whatever could not be written.
// Returns the process's exit status.
int runHeadless(const HeadlessRun& run, UnitAccess& units);

// `parvolin --replay FILE --folder DIR`: the capture's reads processed into DIR (created when
// missing) with the stored settings, which are only read; no unit, no file type, no program
// started. Returns 0 after a complete replay, 2 for a refused capture, 1 when the capture or the
// folder cannot be used (a folder another program holds included), 4 when it could not write all
// it replayed.
int runReplay(const HeadlessRun& run);

// A replay's exit status: 0 replayed, 4 not all written, 1 unusable, 2 refused.
int replayExitStatus(engine::ReplayResult result);

}  // namespace parvolin::app
