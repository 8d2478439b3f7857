#include "app/ui/windowed_run.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <cstdio>
#include <memory>

#include "app/associations.h"
#include "app/run_end.h"
#include "app/signal_pipe.h"
#include "app/ui/main_window.h"
#include "app/working_folder.h"
#include "app/xdg_shell.h"

namespace parvolin::app::ui {

int runWindowed(const HeadlessRun& run, UnitAccess& units) {
  // Installed first, so that a signal during start-up stops the run as soon as events flow.
  SignalPipe signalPipe;
  XdgShell shell(userDataFolder());
  ProcessWorkingFolder workingFolder;
  MainWindowOptions options;
  options.recorder = {run.options.folder, run.programFolder, run.options.config};
  options.trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
  // A capture that may not be written is refused before anything else happens.
  if (!captureMayBeWritten(run.options, stderr)) return kExitUsage;
  MainWindow window({units.d2xx, units.clock, run.store, shell, workingFolder, units.notifications},
                    options);

  if (!window.startRecorder()) return kExitUnitUnreadable;

  // A signal ends every running event loop; the exit sequence runs once they have all returned,
  // never inside a dialog's handler.
  bool stoppedBySignal = false;
  std::unique_ptr<QSocketNotifier> notifier;
  if (signalPipe.valid()) {
    notifier = std::make_unique<QSocketNotifier>(signalPipe.readFd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
      if (!signalPipe.wait(0)) return;
      stoppedBySignal = true;
      QCoreApplication::exit(kExitStopped);
    });
  }
  QObject::connect(&window, &QDialog::finished, [] { QCoreApplication::exit(kExitStopped); });
  // A message box closed while the window is in the tray must not end the program.
  QGuiApplication::setQuitOnLastWindowClosed(false);

  window.openRecorder(run.options.minimized);
  if (run.options.capture) {
    const auto problem = window.recorderThread().call([&] {
      return window.recorder().startCapture(*run.options.capture, captureExistingFile(run.options));
    });
    if (problem) {
      std::fprintf(stderr, "parvolin: cannot write the capture: %s\n", problem->c_str());
      window.exitWithoutQuestion();
      return kExitUsage;
    }
  }
  QCoreApplication::exec();
  if (stoppedBySignal) window.exitWithoutQuestion();
  base::StderrDiagnostics diagnostics;
  return window.recorderThread().call([&] { return finish(window.recorder(), diagnostics); });
}

}  // namespace parvolin::app::ui
