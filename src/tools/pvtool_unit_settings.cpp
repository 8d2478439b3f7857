// pvtool unit-settings: a unit's hardware settings page without a window: its settings read as
// the page reads them and, with values given, "Write Hardware".

#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "app/driver_choice.h"
#include "app/working_folder.h"
#include "base/exit_status.h"
#include "config/hardware_page.h"
#include "config/store_host.h"
#include "device/unit_link.h"
#include "settings/settings_store.h"
#include "tools/command_line.h"
#include "tools/pvtool_settings.h"
#include "tools/terminal_prompt.h"

namespace parvolin::tools {

constinit const std::string_view kUnitSettingsHelp =
    "usage: pvtool unit-settings [--driver ftdi|d2xx|sim] [--simulate[=SCENARIO]] UNIT\n"
    "                            [var-ports=LIST] [threshold=N] [turn-off-delay=N] [timeout=N]\n"
    "                            [audio-mode=N] [caller-id=LIST]\n"
    "Reads the settings of unit UNIT (1-4) as the Configure dialog's hardware page does and\n"
    "shows them; with values given, writes them as its \"Write Hardware\" does, printing its\n"
    "messages. The unit takes them into use after it is powered off and on.\n"
    "  var-ports=LIST        ports recording in VAR mode, as the recorder numbers them (Unit2:\n"
    "                        5-8), comma-separated, or none\n"
    "  threshold=N           VAR voltage threshold: 0 extra, 1 high, 2 mid, 3 low sensitivity\n"
    "  turn-off-delay=N      VAR turn-off delay: 0 4 s, 1 12 s, 2 32 s, 3 100 s\n"
    "  timeout=N             VAR time-out: 0 20 min, 1 40 min, 2 60 min, 3 120 min\n"
    "  audio-mode=N          0 large file, good audio; 1 tiny, poor; 2 small, good; 3 large,\n"
    "                        best (the only mode WAV recording allows)\n"
    "  caller-id=LIST        of dtmf (pre-ring DTMF), fsk (pre-ring FSK), forced (FSK forced\n"
    "                        between rings), comma-separated, or none\n"
    "A running recorder holds its units: close it first, or use its Configure dialog.\n";

namespace {

using config::HardwareFields;

const std::string_view kUsage = kUnitSettingsHelp;

std::vector<std::string> splitList(const std::string& value) {
  std::vector<std::string> items;
  if (value == "none" || value.empty()) return items;
  std::stringstream in(value);
  for (std::string item; std::getline(in, item, ',');) items.push_back(item);
  return items;
}

std::optional<int> parseIndex(const std::string& value) {
  if (value.size() != 1 || value[0] < '0' || value[0] > '3') return std::nullopt;
  return value[0] - '0';
}

// Applies one NAME=VALUE to the page's values. False, with `error` set, for an unknown name or
// a bad value.
[[nodiscard]] bool applyChange(HardwareFields& f, int unit, const std::string& arg,
                               std::string& error) {
  const std::size_t eq = arg.find('=');
  if (eq == std::string::npos) return error = "'" + arg + "' is not NAME=VALUE", false;
  const std::string name = arg.substr(0, eq);
  const std::string value = arg.substr(eq + 1);
  const auto bad = [&](const std::string& expected) {
    error = name + " needs " + expected + ", not '" + value + "'";
    return false;
  };
  if (name == "var-ports") {
    const int first = unit * device::kPortsPerUnit + 1;
    const std::string range = std::to_string(first) + "-" + std::to_string(first + 3);
    f.varPort = {};
    for (const std::string& item : splitList(value)) {
      const int port = std::atoi(item.c_str()) - first;
      if (item != std::to_string(port + first) || port < 0 || port >= device::kPortsPerUnit) {
        return bad("port numbers of Unit" + std::to_string(unit + 1) + " (" + range + ")");
      }
      f.varPort[std::size_t(port)] = true;
    }
  } else if (name == "caller-id") {
    f.preRingDtmf = f.preRingFsk = f.forcedFskBetweenRings = false;
    for (const std::string& item : splitList(value)) {
      if (item == "dtmf") {
        f.preRingDtmf = true;
      } else if (item == "fsk") {
        f.preRingFsk = true;
      } else if (item == "forced") {
        f.forcedFskBetweenRings = true;
      } else {
        return bad("dtmf, fsk and forced, or none");
      }
    }
  } else {
    int HardwareFields::*list = name == "threshold"        ? &HardwareFields::varThreshold
                                : name == "turn-off-delay" ? &HardwareFields::varTurnOffDelay
                                : name == "timeout"        ? &HardwareFields::varTimeout
                                : name == "audio-mode"     ? &HardwareFields::audioMode
                                                           : nullptr;
    if (!list) return error = "unknown setting '" + name + "'", false;
    const std::optional<int> index = parseIndex(value);
    if (!index) return bad("0, 1, 2 or 3");
    f.*list = *index;
  }
  return true;
}

std::string entry(const std::array<std::string_view, 4>& entries, int index) {
  return index >= 0 && index < 4 ? std::string(entries[std::size_t(index)]) : "(not read)";
}

void printPage(std::ostream& out, int unit, const HardwareFields& f) {
  const auto row = [&out](const char* name) -> std::ostream& {
    return out << "  " << std::left << std::setw(16) << name;
  };
  row("device-id") << (f.deviceId.empty() ? "(none: its settings may not be written)" : f.deviceId)
                   << '\n';
  std::string ports;
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    if (!f.varPort[std::size_t(p)]) continue;
    ports += (ports.empty() ? "" : ",") + std::to_string(unit * device::kPortsPerUnit + p + 1);
  }
  row("var-ports") << (ports.empty() ? "none" : ports) << '\n';
  row("threshold") << entry(config::kVarThresholdEntries, f.varThreshold) << '\n';
  row("turn-off-delay") << entry(config::kVarTurnOffDelayEntries, f.varTurnOffDelay) << '\n';
  row("timeout") << entry(config::kVarTimeoutEntries, f.varTimeout) << '\n';
  row("audio-mode") << entry(config::kAudioModeEntries, f.audioMode) << '\n';
  std::string callerId;
  for (const auto& [on, name] : {std::pair{f.preRingDtmf, "dtmf"}, std::pair{f.preRingFsk, "fsk"},
                                 std::pair{f.forcedFskBetweenRings, "forced"}}) {
    if (on) callerId += (callerId.empty() ? "" : ",") + std::string(name);
  }
  row("caller-id") << (callerId.empty() ? "none" : callerId) << '\n';
}

struct UnitSettingsOptions {
  app::DriverOptions driver;
  int unit = 0;  // 0-3
  Args changes;  // NAME=VALUE, checked
  bool help = false;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<UnitSettingsOptions> parseOptions(const Args& arguments,
                                                              std::string& problem) {
  UnitSettingsOptions options;
  Args args = arguments;
  if (!app::takeDriverOptions(args, options.driver, problem)) return std::nullopt;
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    options.help = true;
    return options;
  }
  if (args.empty() || args[0].size() != 1 || args[0][0] < '1' || args[0][0] > '4') {
    problem = "name the unit, 1 to 4";
    return std::nullopt;
  }
  options.unit = args[0][0] - '1';
  options.changes.assign(args.begin() + 1, args.end());
  HardwareFields checked;
  for (const std::string& change : options.changes) {
    if (!applyChange(checked, options.unit, change, problem)) return std::nullopt;
  }
  return options;
}

// The unit's link, open; false, with why on `err`, when the unit cannot be used.
[[nodiscard]] bool openUnit(device::UnitLink& link, int unit, const std::string& name,
                            std::ostream& err) {
  link.openAll();
  if (!link.isListed(unit)) {
    err << "pvtool unit-settings: " << name << " is not attached. `pvtool units` lists the "
        << "attached units.\n";
    return false;
  }
  if (!link.isPresent(unit)) {
    err << "pvtool unit-settings: " << name << " (serial " << link.serial(unit)
        << ") could not be opened. A running recorder holds its units: close it, or change the "
        << "settings in its Configure dialog. `pvtool units` tells more.\n";
    link.closeAll();
    return false;
  }
  return true;
}

// The changes written as the page's "Write Hardware" writes them; the exit status.
int writeChanges(config::HardwarePage& page, int unit, const std::string& name, const Args& changes,
                 std::ostream& out, std::ostream& err) {
  HardwareFields wanted = page.fields();
  std::string error;
  for (const std::string& change : changes) {
    // Checked before the unit was opened.
    static_cast<void>(applyChange(wanted, unit, change, error));
  }
  if (!page.writeEnabled()) {
    err << "pvtool unit-settings: " << name << "'s version does not allow writing its "
        << "settings.\n";
    return base::kExitFailed;
  }
  out << "Writing:\n";
  return page.writeHardware(wanted) == config::HardwarePage::WriteResult::kDone ? base::kExitOk
                                                                                : base::kExitFailed;
}

}  // namespace

int runUnitSettings(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<UnitSettingsOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "unit-settings", kUsage, problem);
  if (options->help) {
    out << kUsage;
    return base::kExitOk;
  }
  auto driver = app::makeDriver(options->driver, problem);
  if (!driver) {
    err << "pvtool unit-settings: " << problem << "\n";
    return base::kExitFailed;
  }
  return runUnitSettingsOn(*driver->d2xx, *driver->clock, options->unit, options->changes, out,
                           err);
}

int runUnitSettingsOn(device::D2xx& d2xx, base::Clock& clock, int unit, const Args& changes,
                      std::ostream& out, std::ostream& err) {
  device::UnitLink link(d2xx, clock);
  const std::string name = "Unit" + std::to_string(unit + 1);
  if (!openUnit(link, unit, name, err)) return base::kExitFailed;
  out << name << "  serial " << link.serial(unit) << '\n';

  // The page starts from the unit's AudioMode, which the recorder reads when it opens.
  settings::MemorySettingsStore noStore;
  app::ProcessWorkingFolder noFolder;
  config::StoreHost host(noStore, engine::RecorderSettings(), noFolder, &link);
  const device::CommandReply mode = link.readRegister(device::Register::kEncoderMode, unit);
  if (!mode) {
    err << "pvtool unit-settings: " << device::kEncoderModeErrorText << "\n";
    link.closeAll();
    return base::kExitFailed;
  }
  host.setAudioMode(unit, *mode);

  TerminalPrompt prompt(out);
  config::HardwarePage page(unit, host, prompt);
  page.initialise();
  printPage(out, unit, page.fields());

  const int status =
      changes.empty() ? base::kExitOk : writeChanges(page, unit, name, changes, out, err);
  link.closeAll();
  return status;
}

}  // namespace parvolin::tools
