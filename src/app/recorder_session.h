#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/poll_timer.h"
#include "app/window_fields.h"
#include "base/prompt.h"
#include "device/unit_link.h"
#include "engine/engine.h"
#include "engine/recorder_settings.h"

namespace parvolin::app {

inline constexpr std::string_view kTimerErrorText = "Set timer error!";
inline constexpr std::string_view kExitQuestionText = "Do you really want to exit?";

// " Port:  %d            NONE" and " Port:  %d            IDLE".
std::string noneLine(int portNumber);
std::string idleLine(int portNumber);
// "Logging Location:    " + folder, right-aligned to 80 columns by blanks inserted at index 20.
std::string makeLocationLine(std::string_view folder);

// The main window's life without the window: opening (units set up, PollTimer started), the
// refresh after the configuration dialog, and the exit sequence. The window and the headless
// front end both run it; the engine does the recording between open() and exitRecorder().
class RecorderSession {
 public:
  enum class OpenResult {
    Running,      // every present unit set up, the PollTimer running
    NoTimer,      // "Set timer error!" was shown; nothing polls
    SetUpFailed,  // a unit set-up failed and showed its message; the PollTimer runs
  };
  enum class ExitQuestion { Ask, DontAsk };

  // `shownFolder` is the folder as the location line shows it.
  RecorderSession(device::UnitLink& link, engine::Engine& engine,
                  engine::RecorderSettings& settings, WindowFields& fields, PollTimer& timer,
                  base::Prompt& prompt, std::string shownFolder);

  OpenResult open();
  // Units plugged in since (unit_arrivals.cpp): each unit the link finds and opens is given its
  // "IDLE" lines and set up as the opening does. One whose set-up fails shows the opening's
  // message and is given up until it is plugged in again. The window's rows grow to show the
  // units set up, and the PollTimer takes the period for the units now there. Returns the units
  // set up. `opened`, when given, is called for each unit opened, before its set-up starts
  // its stream.
  std::vector<int> openArrivedUnits(const std::function<void(int unit)>& opened = {});
  // After the configuration dialog: capacity counters unknown and recounted, location line
  // rebuilt from the (possibly changed) folder setting.
  void refreshAfterConfigure();
  // The user chose a recording folder: the location line shows the folder setting from the next
  // refresh on, also in a run that began with --folder.
  void endFolderOverride() { folderOverridden_ = false; }
  // The exit sequence. With ExitQuestion::Ask and the first unit in use, or anything recorded
  // still waiting for the disk, asks exitQuestion() first; false when the answer was not Yes,
  // and nothing was done.
  bool exitRecorder(ExitQuestion question);
  // "Do you really want to exit?", followed, when something recorded has not reached the disk
  // yet, by what it is (it is lost by exiting now).
  std::string exitQuestion() const;
  // Port 1 has left its "NONE" line: the first unit was opened for the run (or has sent since).
  // The exit question is asked only then.
  bool firstUnitInUse() const;
  // A line is in a call (ringing, dialling out, answered or recording, VAR mode): ending now
  // would cut it short.
  bool callInProgress() const;

  int pollPeriod() const { return pollPeriodMs_; }
  // open() found the first unit and opened the units for the run.
  bool unitsFound() const { return unitsFound_; }
  // Rows of four ports the window shows after opening (1-4); 4 when the opening stopped early.
  int visibleRows() const { return visibleRows_; }
  // Per unit: given the "IDLE" lines; its set-up read the audio mode (a capture's flags).
  const std::array<bool, device::kMaxUnits>& idleUnits() const { return idle_; }
  const std::array<bool, device::kMaxUnits>& setUpUnits() const { return setUp_; }

 private:
  void setIdleLines(int unit);
  [[nodiscard]] bool setUpUnit(int unit);
  void showLocationLine(std::string_view folder);

  device::UnitLink& link_;
  engine::Engine& engine_;
  engine::RecorderSettings& settings_;
  WindowFields& fields_;
  PollTimer& timer_;
  base::Prompt& prompt_;
  std::string shownFolder_;
  bool folderOverridden_;
  int pollPeriodMs_ = 0;
  bool unitsFound_ = false;
  int visibleRows_ = device::kMaxUnits;
  std::array<bool, device::kMaxUnits> idle_{};
  std::array<bool, device::kMaxUnits> setUp_{};
};

}  // namespace parvolin::app
