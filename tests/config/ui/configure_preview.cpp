// Opens the configuration dialog on emulated units, for looking at it on a real desktop:
//   configure_preview [SCENARIO]
// The settings live in memory; the units are those the scenario declares (two by default).
#include <QApplication>

#include <cstdio>

#include "app/settings_io.h"
#include "app/working_folder.h"
#include "config/store_host.h"
#include "config/ui/configure_dialog.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Parvolin");
  std::string error;
  std::optional<parvolin::sim::Scenario> scenario =
      argc > 1 ? parvolin::sim::loadScenario(argv[1], error) : parvolin::sim::builtInScenario();
  if (!scenario) {
    std::fprintf(stderr, "configure_preview: %s\n", error.c_str());
    return 2;
  }
  parvolin::base::SystemClock clock;
  parvolin::sim::SimD2xx d2xx(*scenario, clock);
  parvolin::device::UnitLink link(d2xx, clock);
  link.openAll();

  parvolin::settings::MemorySettingsStore store;
  parvolin::app::ProcessWorkingFolder folder;
  parvolin::app::SettingsLoad load;
  load.workingDirectory = folder.current();
  load.writes = parvolin::app::DefaultWrites::None;
  load.folder = parvolin::app::DefaultFolder::LeaveAlone;
  parvolin::config::StoreHost host(store, parvolin::app::loadRecorderSettings(store, load), folder,
                                   &link);
  for (int unit = 0; unit < parvolin::device::kMaxUnits; ++unit) {
    const parvolin::device::CommandReply mode =
        link.readRegister(parvolin::device::Register::kEncoderMode, unit);
    if (mode) host.setAudioMode(unit, *mode);
  }
  parvolin::config::ui::ConfigureDialog dialog(host);
  const int result = dialog.exec();
  link.closeAll();
  return result == QDialog::Accepted ? 0 : 1;
}
