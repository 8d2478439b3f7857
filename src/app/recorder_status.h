#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "app/recent_problems.h"
#include "base/clock.h"
#include "base/diagnostics.h"
#include "device/unit_link.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"
#include "engine/unwritten.h"

namespace parvolin::app {

// A unit as the opening found it and as it is now.
struct RecorderUnit {
  bool listed = false;   // a serial number was listed: the unit is polled for the whole run
  bool present = false;  // open and usable now
  bool idle = false;     // the opening gave its ports the "IDLE" lines
  bool setUp = false;    // its set-up read its audio mode
  std::uint8_t audioMode = 3;
  int varOffDelaySec = 0;
};

// What a running recorder shows, as one plain copy: the main window paints it, a status server
// reports it. Made on the recorder's thread (Recorder::status) after every tick and command.
struct RecorderStatus {
  // Counts every publication; 0 before the first.
  std::uint64_t version = 0;
  std::array<std::string, device::kMaxPorts> statusText;
  std::array<std::string, device::kMaxPorts> detailText;
  engine::CapacityDisplay capacity;
  std::string locationLine;
  std::array<RecorderUnit, device::kMaxUnits> units;
  int pollPeriodMs = 0;  // 0 before the opening, and once the exit sequence stopped the timer
  int visibleRows = device::kMaxUnits;
  bool asksBeforeExit = false;
  // A line is in a call: Escape and the close box ask before they end the run.
  bool callInProgress = false;
  // The exit question, naming what is not on the disk yet when something is.
  std::string exitQuestion;
  bool somethingUnwritten = false;  // the exit question is asked even with no unit in use
  engine::DiskSpace diskSpace = engine::DiskSpace::kEnough;
  bool exited = false;
  std::int64_t ticks = 0;
  int skippedNestedTicks = 0;
  bool listEditPending = false;
  engine::RecorderSettings settings;
  std::filesystem::path recordingFolder;
  std::filesystem::path listPath;
  // The latest problem reported ("HH:MM:SS  text"), and the recent ones one a line; empty
  // without problems.
  std::string latestProblem;
  std::string problems;
};

// The one place where the recorder's thread leaves its status for the other threads. Everything
// here is guarded by one mutex; readers get copies and never hold the lock while they work.
// Every publication, and every problem reported, raises the version and wakes the waiters; the
// listener (the window's repaint) is then called on the publishing thread, outside the lock.
class StatusBoard final : public base::Diagnostics {
 public:
  using Listener = std::function<void()>;

  explicit StatusBoard(base::Clock& clock) : clock_(clock) {}

  // Set before the recorder's thread publishes; called after every change.
  void setListener(Listener listener);
  // Takes `status` as the current one (its problems and version are the board's own).
  void publish(RecorderStatus status);
  // The status as last published, with the problems reported so far.
  RecorderStatus snapshot() const;
  std::uint64_t version() const;
  // Waits until the version is above `seen` or `timeout` passed; the version then.
  std::uint64_t waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const;

  // base::Diagnostics, from any thread: into the recent problems.
  void report(std::string_view text) override;

 private:
  void changed(std::unique_lock<std::mutex>& lock);

  base::Clock& clock_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  RecorderStatus status_;    // guarded by mutex_
  RecentProblems problems_;  // guarded by mutex_
  Listener listener_;        // set before the first publication, then only read
};

}  // namespace parvolin::app
