// parvolin: the call recorder. With a display it runs in its window; --headless runs the same
// recorder without one, which also suits a machine without a display, e.g. as a service.

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/config_file.h"
#include "app/driver_choice.h"
#include "app/headless.h"
#include "app/parvolin_options.h"
#include "app/settings_io.h"
#include "app/ui/app_icons.h"
#include "app/ui/windowed_run.h"
#include "app/unit_arrivals.h"
#include "base/clock.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "settings/qt/qsettings_store.h"

namespace {

using parvolin::app::ParvolinOptions;

// The folder of this executable, where lvplayer and LvSvr are installed beside it.
std::filesystem::path programFolder(const char* argv0) {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) self = std::filesystem::absolute(argv0, ec);
  return self.parent_path();
}

// How the units are reached, from the driver options of the command line. Emulated units run
// on the wall clock unless --virtual is given: the recorder shows calls as they happen.
std::optional<parvolin::app::Driver> chooseDriver(const ParvolinOptions& options,
                                                  std::string& error) {
  std::vector<std::string> args = options.driverArgs;
  parvolin::app::DriverOptions driverOptions;
  if (!parvolin::app::takeDriverOptions(args, driverOptions, error)) return {};
  if (driverOptions.time == parvolin::app::TimeMode::kDefault) {
    driverOptions.time = parvolin::app::TimeMode::kRealtime;
  }
  return parvolin::app::makeDriver(driverOptions, error);
}

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Whether Qt has somewhere to show the window: a display, or a platform chosen on purpose.
bool haveDisplay() {
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<ParvolinOptions> options =
      parvolin::app::parseParvolinOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "parvolin: %s\n%s", error.c_str(), parvolin::app::kParvolinUsage);
    return parvolin::app::kExitUsage;
  }
  if (options->help) {
    std::printf("%s%s", parvolin::app::kParvolinUsage, parvolin::app::kParvolinHelp);
    return parvolin::base::kExitOk;
  }
  if (options->version) {
    std::printf("%s\n", parvolin::base::versionLine("parvolin").c_str());
    return parvolin::base::kExitOk;
  }
  if (!options->headless && !haveDisplay()) {
    std::fprintf(stderr,
                 "parvolin: no display to show the window on; 'parvolin --headless' records "
                 "without a window.\n");
    return parvolin::app::kExitUsage;
  }
  // A reader of the port lines that goes away (a closed pipe) must not stop the recording: the
  // lines are then lost, the calls are not.
  std::signal(SIGPIPE, SIG_IGN);
  parvolin::app::makePathsAbsolute(*options);
  // A file that is no settings file is refused before it could be read or rewritten.
  if (options->config) {
    if (const auto problem = parvolin::app::configFileProblem(*options->config)) {
      std::fprintf(stderr, "parvolin: --config: %s\n", problem->c_str());
      return parvolin::app::kExitUsage;
    }
  }

  std::unique_ptr<QApplication> app;
  if (!options->headless) {
    app = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationDisplayName("Parvolin");
    QApplication::setDesktopFileName("parvolin");
    QApplication::setWindowIcon(parvolin::app::ui::icons::program());
  }
  std::unique_ptr<parvolin::settings::SettingsStore> store =
      parvolin::settings::makeQSettingsStore(options->config);
  // The window shows stored settings it cannot use in its status line; they go to standard
  // error too (without a window the recorder's problems go there anyway).
  if (app) {
    for (const std::string& problem : parvolin::app::settingProblems(*store)) {
      std::fprintf(stderr, "parvolin: setting %s\n", problem.c_str());
    }
  }
  const parvolin::app::HeadlessRun run{*options, *store, programFolder(argv[0]), stdout};
  if (options->replay) return parvolin::app::runReplay(run);

  std::optional<parvolin::app::Driver> driver = chooseDriver(*options, error);
  if (!driver) {
    std::fprintf(stderr, "parvolin: %s\n", error.c_str());
    return parvolin::app::kExitUsage;
  }
  std::fprintf(stderr, "parvolin: %s\n", driver->description.c_str());
  // Units plugged in while the recorder runs are announced by udev (or the emulated units);
  // without its announcements only the units found at the start are recorded.
  std::unique_ptr<parvolin::device::DeviceNotifications> notifications =
      parvolin::app::makeDeviceNotifications(*driver, error);
  if (!notifications) {
    std::fprintf(stderr, "parvolin: %s; units plugged in later are found at the next start\n",
                 error.c_str());
  }
  parvolin::app::UnitAccess access{*driver->d2xx, *driver->clock, driver->virtualClock != nullptr,
                                   std::nullopt, notifications.get()};
  if (app) return parvolin::app::ui::runWindowed(run, access);
  // A virtual run ends with its scenario's scripted events (the scenario's time counts from the
  // emulated units' creation, which was at the clock's present).
  if (access.virtualClock)
    access.stopAtMonotonicMs = driver->clock->monotonicMs() + driver->scenarioEndMs;
  return parvolin::app::runHeadless(run, access);
}
