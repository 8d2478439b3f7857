#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/poll_timer.h"
#include "app/recorder_session.h"
#include "app/recorder_status.h"
#include "app/shell.h"
#include "app/tick_prompt.h"
#include "app/unit_arrivals.h"
#include "app/window_fields.h"
#include "app/working_folder.h"
#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/folder_lock.h"
#include "base/prompt.h"
#include "device/d2xx.h"
#include "device/device_notifications.h"
#include "device/unit_link.h"
#include "engine/engine.h"
#include "engine/engine_view.h"
#include "engine/output_files.h"
#include "engine/recorder_settings.h"
#include "engine/stream_capture.h"
#include "settings/settings_store.h"

namespace parvolin::app {

// What a front end supplies to drive a Recorder. Every reference must outlive the Recorder.
struct RecorderServices {
  device::D2xx& d2xx;  // how the units are reached (libftdi1, the vendor's library, emulated)
  base::Clock& clock;
  settings::SettingsStore& store;
  base::Prompt& prompt;            // the message boxes and the exit question
  base::Diagnostics& diagnostics;  // problems no message box covers (status line, stderr)
  Shell& shell;                    // file types and the remote-access server's start
  WorkingFolder& workingFolder;    // the process's current directory
  engine::EngineView& screen;      // the port lines and the capacity figures
  PollTimer& timer;                // calls tick() every pollPeriodMs() once open() started it
  // Where the messages raised during a tick go once it is over; it must not wait for the user
  // (a window shows them in boxes it does not wait for). Null: `prompt`.
  base::Prompt* laterPrompt = nullptr;
  // Announces units plugged in while the recorder runs; they are opened, set up and recorded
  // (ArrivalSchedule). Null: only the units found at the opening are recorded.
  device::DeviceNotifications* notifications = nullptr;
};

struct RecorderOptions {
  // --folder: records into this folder for one run instead of the stored one.
  std::optional<std::filesystem::path> folderOverride;
  std::filesystem::path programFolder;  // where lvplayer and LvSvr are installed
  // --config: the settings file, handed on to the remote-access server.
  std::optional<std::filesystem::path> configFile = std::nullopt;
  // The name the folder's lock file gives for this run (see base::FolderLock).
  std::string programName = "parvolin";
  // The call-end WAV conversion's work memory limit (Engine::setWavConversionMemoryLimit).
  std::optional<std::size_t> wavConversionMemoryLimit = std::nullopt;
  // How the engine is built; its list rewrites among them (tests ask for one per tick).
  engine::EngineOptions engineOptions{};
};

// One run of the recorder: the units, the start-up, the recording engine, the main window's
// opening and exit, and an optional stream capture. Front ends (the main window, the headless
// loop) supply the services above and call the commands below; they hold no rule of their own.
//
// Order: start(), open(), then tick() from the PollTimer until exit() or the Recorder's
// destruction. A Recorder is not thread-safe: one thread at a time drives it. The window runs it
// on a RecorderThread (start() before that thread touches it, everything else on it, the
// destruction after it ended) and shows status() as published after each tick and command; the
// headless loop runs it on the main thread. The commands between ticks (list edits, settings,
// unit commands) take effect at the next tick or event. Destroying a Recorder without exit() is
// the window's immediate close: no question, no stream stop, no closeAll; buffered audio is still
// written.
class Recorder {
 public:
  Recorder(RecorderServices services, RecorderOptions options);
  ~Recorder();

  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // --- The run ---------------------------------------------------------------------------------
  // The start-up sequence: the first unit's number into "USN", the settings with their defaults,
  // the recording folder made the current directory, the file types registered, the server
  // started when allowed. Before any of it the recording folder is taken for the run (its lock,
  // held until the Recorder goes): a folder that another program holds, or a --folder that is
  // not a usable folder, ends the start before anything is touched. False, the message shown,
  // when the program ends: for those, and when the first unit's number could not be read.
  [[nodiscard]] bool start();
  // The main window's opening: the units opened for the run and set up, the PollTimer started.
  // Messages of a failed step were shown. Only after a successful start().
  RecorderSession::OpenResult open();
  // Records every stream read of the live unit passes into `path` from now on (nothing before
  // the opening, whose state the capture's header holds). Nothing when the capture was created;
  // otherwise why not: a file that exists (unless kReplace), one of the recording folder's own
  // files (always), a file that cannot be made.
  [[nodiscard]] std::optional<std::string> startCapture(
      const std::filesystem::path& path,
      engine::ExistingFile existing = engine::ExistingFile::kRefuse);
  // One PollTimer tick: units plugged in since are opened and set up first (see
  // RecorderSession::openArrivedUnits), then the engine's tick. A tick never runs inside another:
  // one asked for while a tick runs (a nested event loop delivering the timer) is skipped and
  // counted. Messages the tick raises go to the laterPrompt once the tick is over.
  void tick();
  // Ticks skipped because they were asked for inside a running tick.
  int skippedNestedTicks() const { return skippedNestedTicks_; }
  // Ticks run.
  std::int64_t ticks() const { return ticks_; }
  // The exit sequence of the "Exit" button: with ExitQuestion::Ask the question is asked when
  // the first unit is in use (asksBeforeExit), and false returned, with nothing done, unless the
  // answer is Yes. Then the streams are stopped (units 4 to 1), the timer stopped, a call in
  // progress has its buffered audio written (it is not logged), the units closed, the search
  // result page deleted and the capture closed. Once done, a further exit does nothing and
  // returns true.
  bool exit(RecorderSession::ExitQuestion question);
  bool exited() const { return exited_; }

  // --- Commands between ticks --------------------------------------------------------------------
  // A change of the list body, applied by the next tick (see Engine::requestListEdit).
  void requestListEdit(engine::PendingListEdit edit, engine::Engine::ListEditDone done = {});
  bool listEditPending() const;
  // A retention pass (see Engine::runRetention); without an engine `done` is told it could not
  // run.
  void runRetention(bool dryRun, engine::Engine::RetentionDone done);
  // Takes `changed` as the run's settings, used from the engine's next event on, and writes the
  // settings named in `save` to the store, in that order (the configuration dialog writes those
  // it changed).
  void applySettings(const engine::RecorderSettings& changed,
                     std::initializer_list<engine::Setting> save = {});
  // Makes `folder` the recording folder: the current directory (created when missing) and the
  // engine's folder for new recordings, the call log and the list; its lock is taken and the
  // previous folder's released; the location line shows it from the next refresh on, also in a
  // run that began with --folder. kNotLocated, with nothing shown, when the folder could be
  // neither entered nor created: the current directory stays the recording folder. kHeld, with
  // nothing shown and nothing changed, when another program holds the folder.
  FolderChange changeRecordingFolder(const std::filesystem::path& folder);
  // After the configuration dialog closed: capacity counters unknown and recounted, the location
  // line rebuilt from the folder setting.
  void refreshAfterConfigure();
  // The open link, for the hardware settings pages' unit commands between ticks.
  device::UnitLink& units() { return link_; }
  // The unit's AudioMode as "Write Hardware" read it back; used from the next record on.
  void setAudioMode(int unit, std::uint8_t mode);

  // --- What the front ends show and read ---------------------------------------------------------
  // The port lines, the capacity figures and the location line, as shown.
  const WindowFields& fields() const { return fields_; }
  // The PollTimer's period chosen by open() (500 ms without units); 0 before.
  int pollPeriodMs() const;
  // open() found the units and opened them for the run; false before open().
  bool unitsFound() const;
  // Rows of four ports the window keeps after open() (1-4; 4 when the opening stopped early).
  int visibleRows() const;
  RecorderUnit unit(int unit) const;
  // The exit question will be asked: port 1 has left its "NONE" line.
  bool asksBeforeExit() const;
  // A line is in a call now (RecorderSession::callInProgress); false before open().
  bool callInProgress() const;
  // RecorderSession::exitQuestion; the plain question before open().
  std::string exitQuestion() const;
  const engine::RecorderSettings& settings() const { return settings_; }
  // The folder the run records into (absolute); empty before start().
  const std::filesystem::path& recordingFolder() const { return recordingFolder_; }
  // The HTML list of the recording folder; empty before start().
  std::filesystem::path listPath() const;
  // Everything above as one copy, for the threads that show it (see StatusBoard).
  RecorderStatus status() const;
  // The first unit's number as start() read it; -1 without units.
  std::int32_t unitNumber() const { return unitNumber_; }
  // The engine, for what the windows read besides the view (capacity, deferred writes); null
  // before start().
  const engine::Engine* engine() const { return engine_.get(); }
  // The calls kept but not yet in the list file, as their rows, newest first; empty before
  // start(). Any thread may call it once start() returned: it only takes the list writer's guard.
  std::vector<std::string> rowsNotInList() const;
  // The units as the opening left them, as a stream capture's header records them.
  engine::CaptureHeader captureHeader() const;
  // What the run recorded but could not write (audio, call records, rows), as lines for the
  // user; empty when nothing is missing. After exit() it is what the run lost for good, and a
  // front end ends with kExitUnwritten when there is any.
  std::vector<std::string> unwrittenReport() const;

 private:
  // Takes the lock of `folder` for the run; false, with the message shown, when another program
  // holds it. A lock that cannot be made (a read-only folder) is reported and the run goes on.
  [[nodiscard]] bool lockFolder(const std::filesystem::path& folder);
  void openArrivedUnits();

  RecorderServices services_;
  RecorderOptions options_;
  TickPrompt tickPrompt_;  // what the engine and the session show messages through
  device::UnitLink link_;
  WindowFields fields_;
  engine::RecorderSettings settings_;
  std::filesystem::path recordingFolder_;
  std::string shownFolder_;
  std::int32_t unitNumber_ = -1;
  // Declared before the engine, so that the engine's last writes happen while it is held.
  base::FolderLock folderLock_;
  std::unique_ptr<engine::Engine> engine_;
  std::unique_ptr<RecorderSession> session_;
  std::unique_ptr<engine::CaptureWriter> capture_;
  ArrivalSchedule arrivals_;
  bool ticking_ = false;
  int skippedNestedTicks_ = 0;
  std::int64_t ticks_ = 0;
  bool exited_ = false;
};

}  // namespace parvolin::app
