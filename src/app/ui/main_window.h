#pragma once

#include <QDialog>
#include <array>
#include <map>
#include <memory>

#include "app/control_target.h"
#include "app/recent_problems.h"
#include "app/recorder.h"
#include "app/tray_state.h"
#include "app/ui/qt_poll_timer.h"
#include "base/diagnostics.h"
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

// What the window needs to run a Recorder besides what it supplies itself (the view, the
// diagnostics, the message boxes, the PollTimer). Every reference must outlive the window.
struct WindowServices {
  device::D2xx& d2xx;
  base::Clock& clock;
  SettingsStore& store;
  Shell& shell;
  WorkingFolder& workingFolder;
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
// Ways out: "Exit" (and Enter) runs the exit sequence, asking first when the first unit is in
// use; the close box, Escape and the tray's "E&xit" end the window at once (the Recorder still
// writes the audio of calls in progress when it goes). Every way out removes the tray icon.
class MainWindow final : public QDialog, private engine::EngineView, private base::Diagnostics {
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

  Recorder& recorder() { return *recorder_; }
  const TrayState& trayState() const { return tray_; }
  // The icon while the window is in the tray; null otherwise.
  QSystemTrayIcon* trayIcon() const { return trayIcon_; }
  QMenu* trayMenu() const { return trayMenu_; }
  const QtPollTimer& pollTimer() const { return timer_; }
  // Ticks the PollTimer has run.
  int tickCount() const { return ticks_; }
  // The control with the layout's id (app/main_window_layout.h).
  QWidget* control(int id) const;
  QLabel* label(int id) const;
  widgets::HoverButton* button(int id) const;
  QProgressBar* bar(int id) const;
  QLineEdit* locationLine() const { return locationLine_; }
  QLabel* statusLine() const { return statusLine_; }

  void done(int result) override;

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
  // engine::EngineView
  void showPort(int portIndex, std::string_view statusText, std::string_view detailText) override;
  void showCapacity(const engine::CapacityDisplay& capacity) override;
  void refresh() override;
  // base::Diagnostics
  void report(std::string_view text) override;

  void createControls();
  void createButtons();
  void createContextMenu();
  void createTrayMenu();
  void applyLayout(int visibleRows);
  void apply(const TrayState::Step& step);
  void onTick();
  // The configuration dialog, run modally; its result.
  int runConfigurationDialog();

  base::Clock& clock_;
  widgets::MessageBoxPrompt prompt_;
  widgets::ModelessMessageBoxes laterPrompt_;
  QtPollTimer timer_;
  TrayState tray_;
  RecentProblems problems_;
  int ticks_ = 0;

  std::map<int, QWidget*> controls_;
  QLineEdit* locationLine_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;

  std::unique_ptr<Recorder> recorder_;
  // The recorder's control socket; goes before the recorder.
  std::unique_ptr<RecorderControl> control_;
};

}  // namespace parvolin::app::ui
