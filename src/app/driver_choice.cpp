#include "app/driver_choice.h"

#include "base/program_text.h"
#include "device/driver_support.h"

#include <system_error>

namespace parvolin::app {
namespace {

// Matches "--name VALUE" and "--name=VALUE"; moves `i` past what it consumed.
bool takeValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
               std::string& value, bool& missing) {
  const std::string& a = args[i];
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    value = a.substr(name.size() + 1);
    return true;
  }
  if (a != name) return false;
  if (i + 1 >= args.size()) {
    missing = true;
    return true;
  }
  value = args[++i];
  return true;
}

std::filesystem::path programDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace

bool takeDriverOptions(std::vector<std::string>& args, DriverOptions& options, std::string& error) {
  std::vector<std::string> rest;
  bool driverGiven = false;
  bool simulate = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    bool missing = false;
    if (takeValue(args, i, "--driver", value, missing)) {
      if (missing) return error = "--driver needs ftdi, d2xx or sim", false;
      if (value == "ftdi") {
        options.kind = DriverKind::kFtdi;
      } else if (value == "d2xx") {
        options.kind = DriverKind::kVendorLibrary;
      } else if (value == "sim") {
        options.kind = DriverKind::kSim;
      } else {
        return error = "unknown driver '" + base::printable(value) + "' (ftdi, d2xx or sim)", false;
      }
      driverGiven = true;
    } else if (a == "--simulate" || a.rfind("--simulate=", 0) == 0) {
      simulate = true;
      if (a.size() > 10) options.scenario = a.substr(11);
      if (a.size() > 10 && options.scenario.empty())
        return error = "--simulate= needs a file", false;
    } else if (takeValue(args, i, "--usb-id", value, missing)) {
      const auto id = missing ? std::nullopt : device::parseUsbId(value);
      if (!id) return error = "--usb-id needs VID:PID in hex, e.g. 0403:6001", false;
      options.usbIds.push_back(*id);
    } else if (a == "--realtime" || a == "--virtual") {
      const TimeMode time = a == "--realtime" ? TimeMode::kRealtime : TimeMode::kVirtual;
      if (options.time != TimeMode::kDefault && options.time != time) {
        return error = "--realtime and --virtual contradict each other", false;
      }
      options.time = time;
    } else {
      rest.push_back(a);
    }
  }
  if (simulate) {
    if (driverGiven && options.kind != DriverKind::kSim) {
      return error = "--simulate runs emulated units; it cannot go with another --driver", false;
    }
    options.kind = DriverKind::kSim;
  }
  if (options.kind != DriverKind::kSim && options.time == TimeMode::kVirtual) {
    return error = "--virtual needs emulated units (--simulate or --driver sim)", false;
  }
  args = std::move(rest);
  return true;
}

std::filesystem::path findDataFile(std::string_view name) {
  std::vector<std::filesystem::path> places;
  const auto dir = programDirectory();
  if (!dir.empty()) {
    places = {dir / name, dir / "data" / name, dir.parent_path() / "data" / name,
              dir.parent_path().parent_path() / "data" / name,
              dir.parent_path() / "share" / "parvolin" / name};
  }
#ifdef PARVOLIN_SOURCE_DIR
  places.push_back(std::filesystem::path(PARVOLIN_SOURCE_DIR) / "data" / name);
#endif
  for (const auto& p : places) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(p, ec)) return p;
  }
  return {};
}

std::optional<Driver> makeDriver(const DriverOptions& options, std::string& error) {
  Driver driver;
  const bool virtualTime = options.kind == DriverKind::kSim && options.time != TimeMode::kRealtime;
  if (virtualTime) {
    // Virtual time starts now, to the second, so that the calls carry today's dates.
    auto clock = std::make_unique<base::VirtualClock>(base::SystemClock().wallSeconds() * 1000);
    driver.virtualClock = clock.get();
    driver.clock = std::move(clock);
  } else {
    driver.clock = std::make_unique<base::SystemClock>();
  }
  if (options.kind != DriverKind::kSim) {
    driver.d2xx = makeHardwareD2xx(options);
    driver.description = options.kind == DriverKind::kFtdi ? "units through libftdi1"
                                                           : "units through the vendor's library";
    return driver;
  }

  std::filesystem::path file = options.scenario;
  if (file.empty()) file = findDataFile("demo.scenario");
  std::optional<sim::Scenario> scenario;
  if (file.empty()) {
    scenario = sim::builtInScenario();
    driver.description = "emulated units with built-in random calls";
  } else {
    scenario = sim::loadScenario(file, error);
    if (!scenario) return std::nullopt;
    driver.description = "emulated units playing " + file.string();
  }
  driver.description += virtualTime ? " (virtual time)" : " (real time)";
  driver.scenarioEndMs = scenario->endMs();
  auto sim = std::make_unique<sim::SimD2xx>(*scenario, *driver.clock);
  driver.sim = sim.get();
  driver.d2xx = std::move(sim);
  return driver;
}

}  // namespace parvolin::app
