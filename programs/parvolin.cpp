// parvolin: the call recorder. For now it runs without a window (--headless), which also suits
// a machine without a display, e.g. as a service.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/parvolin_options.h"
#include "app/qsettings_store.h"
#include "base/clock.h"
#include "device/ftdi_d2xx.h"
#include "device/vendor_d2xx.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"

namespace {

using parvolin::app::ParvolinOptions;

// The folder of this executable, where lvplayer and LvSvr are installed beside it.
std::filesystem::path programFolder(const char* argv0) {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) self = std::filesystem::absolute(argv0, ec);
  return self.parent_path();
}

// The units of this run and the clock they run on, as the command line chose them.
struct Units {
  std::unique_ptr<parvolin::base::Clock> clock;
  std::unique_ptr<parvolin::device::D2xx> d2xx;
  bool virtualClock = false;
  std::optional<std::int64_t> stopAtMs;
};

bool parseUsbId(const std::string& text, parvolin::device::FtdiD2xx::UsbId& id) {
  unsigned vendor = 0, product = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%x:%x%c", &vendor, &product, &end) != 2) return false;
  if (vendor > 0xFFFF || product > 0xFFFF) return false;
  id = {static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product)};
  return true;
}

std::optional<Units> chooseUnits(const ParvolinOptions& options, std::string& error) {
  std::string driver = "ftdi";
  std::optional<std::string> scenarioFile;
  std::vector<parvolin::device::FtdiD2xx::UsbId> usbIds;
  bool virtualClock = false;
  for (const std::string& arg : options.driverArgs) {
    if (arg == "--simulate") {
      driver = "sim";
    } else if (arg.rfind("--simulate=", 0) == 0) {
      driver = "sim";
      scenarioFile = arg.substr(11);
    } else if (arg.rfind("--driver=", 0) == 0) {
      driver = arg.substr(9);
    } else if (arg.rfind("--usb-id=", 0) == 0) {
      parvolin::device::FtdiD2xx::UsbId id;
      if (!parseUsbId(arg.substr(9), id)) {
        error = "--usb-id wants VENDOR:PRODUCT in hex, e.g. 0403:6001";
        return {};
      }
      usbIds.push_back(id);
    } else if (arg == "--virtual") {
      virtualClock = true;
    }
  }
  Units units;
  if (driver == "sim") {
    parvolin::sim::Scenario scenario = parvolin::sim::builtInScenario();
    if (scenarioFile) {
      auto loaded = parvolin::sim::loadScenario(*scenarioFile, error);
      if (!loaded) return {};
      scenario = std::move(*loaded);
    }
    if (virtualClock) {
      units.clock =
          std::make_unique<parvolin::base::VirtualClock>(parvolin::base::SystemClock().wallMs());
    } else {
      units.clock = std::make_unique<parvolin::base::SystemClock>();
    }
    units.virtualClock = virtualClock;
    const std::int64_t origin = units.clock->monotonicMs();
    std::int64_t end = scenario.endMs();
    bool endless = false;
    for (const auto& unit : scenario.units) {
      if (!unit.randomCalls) continue;
      if (unit.randomUntilMs == parvolin::sim::kNever)
        endless = true;
      else
        end = std::max(end, unit.randomUntilMs);
    }
    if (virtualClock && !endless) units.stopAtMs = origin + end;
    units.d2xx = std::make_unique<parvolin::sim::SimD2xx>(scenario, *units.clock);
    return units;
  }
  if (virtualClock) {
    error = "--virtual needs emulated units (--simulate)";
    return {};
  }
  units.clock = std::make_unique<parvolin::base::SystemClock>();
  if (driver == "ftdi") {
    units.d2xx = std::make_unique<parvolin::device::FtdiD2xx>(usbIds);
  } else if (driver == "d2xx") {
    units.d2xx = std::make_unique<parvolin::device::VendorD2xx>();
  } else {
    error = "unknown driver '" + driver + "' (ftdi, d2xx or sim)";
    return {};
  }
  return units;
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
  if (!options->headless) {
    std::fprintf(stderr,
                 "parvolin: the recorder window is not built yet; 'parvolin --headless' runs the "
                 "recorder without a window.\n%s",
                 parvolin::app::kParvolinUsage);
    return parvolin::app::kExitUsage;
  }
  parvolin::app::makePathsAbsolute(*options);
  std::unique_ptr<parvolin::app::SettingsStore> store =
      parvolin::app::makeQSettingsStore(options->config);
  const parvolin::app::HeadlessRun run{*options, *store, programFolder(argv[0]), stdout};
  if (options->replay) return parvolin::app::runReplay(run);

  std::optional<Units> units = chooseUnits(*options, error);
  if (!units) {
    std::fprintf(stderr, "parvolin: %s\n", error.c_str());
    return parvolin::app::kExitUsage;
  }
  parvolin::app::UnitAccess access{*units->d2xx, *units->clock, units->virtualClock,
                                   units->stopAtMs};
  return parvolin::app::runHeadless(run, access);
}
