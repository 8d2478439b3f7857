#pragma once

#include <QDialog>
#include <array>
#include <atomic>
#include <map>
#include <memory>

#include "app/control_target.h"
#include "app/recorder.h"
#include "app/recorder_status.h"
#include "app/recorder_thread.h"
#include "app/tray_state.h"
#include "app/ui/queued_prompt.h"
#include "device/unit_link.h"
#include "engine/engine_view.h"
#include "widgets/ui/message_box_prompt.h"
#include "widgets/ui/modeless_message_boxes.h"

class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;

namespace parvolin::widgets {
class HoverButton;
}

namespace parvolin::app::ui {

// What the window needs to run a Recorder besides what it supplies itself (the status board, the
// message boxes, the recorder's thread). Every reference must outlive the window.
struct WindowServices {
  device::D2xx& d2xx;
  base::Clock& clock;
  settings::SettingsStore& store;
  Shell& shell;
  WorkingFolder& workingFolder;
  // Announces units plugged in during the run; may be null.
  device::DeviceNotifications* notifications = nullptr;
};

struct MainWindowOptions {
  RecorderOptions recorder;
  // Whether the desktop has a tray to minimise into (QSystemTrayIcon::isSystemTrayAvailable()).
  bool trayAvailable = false;
};

// The recorder's main window: the port grid, the capacity bars, the location line, the four
// buttons and a status line with the latest problem; minimised, an icon in the tray. It runs a
// Recorder and holds no rule of its own: the layout, the shrink, the exit sequence and the tray
// states are core's.
//
// Threads: the Recorder lives on a RecorderThread of its own, which polls the units on time
// whatever this window's thread is doing (a modal dialog, a long sort, a slow X server). The
// window is a client: after each tick and command the recorder's thread publishes a
// RecorderStatus to the StatusBoard (one mutex guards it), and the window repaints from the
// latest copy, queued to its own thread. The window's commands (the opening, the exit sequence,
// list edits, the configuration's settings, folder and unit commands) run on the recorder's
// thread through RecorderThread::post/call; messages raised there are queued to this thread
// (QueuedPrompt). The Recorder itself is touched from this thread only before the recorder's
// thread first runs a command (its start) and after that thread ended (its destruction).
//
// Ways out: "Exit" (and Enter) runs the exit sequence, asking first when the first unit is in
// use; the close box and Escape ask the same question while a line is in a call, and otherwise
// end the window at once, as the tray's "E&xit" does (the Recorder still writes the audio of
// calls in progress when it goes). Every way out removes the tray icon.
class MainWindow final : public QDialog {
  Q_OBJECT

 public:
  MainWindow(WindowServices services, MainWindowOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The start-up sequence, before the window opens. False: the program ends (the message was
  // shown).
  bool startRecorder();
  // The window's opening: the units set up, the PollTimer started, the grid shrunk to the units
  // present; then the window is shown, or goes straight to the tray (to the task bar without a
  // tray) when `minimized`.
  RecorderSession::OpenResult openRecorder(bool minimized);
  // The exit sequence without its question, as a signal asks for it.
  void exitWithoutQuestion();

  // The Recorder: only on its thread (recorderThread().call/post), or before openRecorder().
  Recorder& recorder() { return *recorder_; }
  RecorderThread& recorderThread() { return *thread_; }
  // Where the recorder's status is published; thread-safe (a status server reads it too).
  StatusBoard& statusBoard() { return board_; }
  // The status the recorder published last.
  RecorderStatus status() const { return board_.snapshot(); }
  const TrayState& trayState() const { return tray_; }
  // The icon while the window is in the tray; null otherwise.
  QSystemTrayIcon* trayIcon() const { return trayIcon_; }
  QMenu* trayMenu() const { return trayMenu_; }
  const RecorderThread& pollTimer() const { return *thread_; }
  // Ticks the PollTimer has run.
  std::int64_t tickCount() const { return board_.snapshot().ticks; }
  // The control with the layout's id (app/main_window_layout.h).
  QWidget* control(int id) const;
  QLabel* label(int id) const;
  widgets::HoverButton* button(int id) const;
  QProgressBar* bar(int id) const;
  QLineEdit* locationLine() const { return locationLine_; }
  QLabel* statusLine() const { return statusLine_; }

  void done(int result) override;
  // Escape and the close box.
  void reject() override;

 public slots:
  void exitButton();
  void configure();
  void viewLog();
  void about();
  void restoreFromTray();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Queued to this thread after every publication; at most one waits at a time.
  void statusChanged();
  // Shows the latest status: the port lines, the capacity, the location and the status line.
  void repaintStatus();
  void showLocation(const std::string& locationLine);

  // The tray icon and its tooltip after the disk's state, with a notification when it changes.
  void showDiskSpace(engine::DiskSpace space);

  void createControls();
  void createButtons();
  void createContextMenu();
  void createTrayMenu();
  void applyLayout(int visibleRows);
  void apply(const TrayState::Step& step);
  // The configuration dialog, run modally; its result.
  int runConfigurationDialog();

  widgets::MessageBoxPrompt prompt_;
  engine::DiskSpace diskShown_ = engine::DiskSpace::kEnough;
  widgets::ModelessMessageBoxes laterPrompt_;
  // What the Recorder shows its messages through, from whichever thread.
  QueuedPrompt recorderPrompt_;
  QueuedPrompt recorderLaterPrompt_;
  engine::NullEngineView noView_;  // the window reads the status board instead
  TrayState tray_;
  StatusBoard board_;
  // The recorder's problems and messages, also noted for the control socket's status.
  ProblemTap problemTap_{board_, recorderPrompt_};
  std::atomic<bool> repaintQueued_{false};
  int layoutRows_ = 0;  // rows of ports the layout shows

  std::map<int, QWidget*> controls_;
  QLineEdit* locationLine_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;

  std::unique_ptr<Recorder> recorder_;
  // Made after the Recorder, ended (joined) before it goes.
  std::unique_ptr<RecorderThread> thread_;
  // The recorder's control socket; its ticks' edits and status run on the recorder's thread.
  std::unique_ptr<RecorderControl> control_;
};

}  // namespace parvolin::app::ui
