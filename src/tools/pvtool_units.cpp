// pvtool units: lists the attached units with their settings, then watches their streams.

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

#include "app/driver_choice.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "codec/lv_format.h"
#include "device/driver_support.h"
#include "device/stream_framing.h"
#include "device/unit_link.h"
#include "device/unit_protocol.h"
#include "engine/unit_pass_reads.h"
#include "engine/unit_streams.h"
#include "tools/command_line.h"
#include "tools/number_options.h"
#include "tools/pvtool_commands.h"
#include "tools/unit_description.h"

namespace parvolin::tools {

constinit const std::string_view kUnitsHelp =
    "usage: pvtool units [--driver ftdi|d2xx|sim] [--simulate[=SCENARIO]] [--seconds N]\n"
    "                    [--realtime|--virtual] [--usb-id VID:PID]...\n"
    "Lists the recorder units (serial, version, settings, unit number), starts their streams and\n"
    "prints one line per event for N seconds, then stops the streams and closes the units. When\n"
    "no unit is found it tells what to check (cable, kernel driver, permissions).\n"
    "  --driver ftdi|d2xx|sim  libftdi1 (the default), the vendor's D2XX library, or emulated\n"
    "                          units\n"
    "  --simulate[=SCENARIO]   emulated units playing SCENARIO (default: the demo scenario)\n"
    "  --seconds N             how long to watch the streams, 0.001 to 4000000 (default 10)\n"
    "  --realtime, --virtual   emulated units on the wall clock, or on a virtual clock that runs\n"
    "                          as fast as it can (the default for emulated units)\n"
    "  --usb-id VID:PID        also list units with this USB id (hex; repeatable)\n"
    "Exit status 0 when the units were listed, watched and closed, 1 when none could be used.\n";

namespace {

constexpr double kDefaultSeconds = 10;
// A watch of a millisecond at least, and of at most about 46 days.
constexpr double kMinSeconds = 0.001;
constexpr double kMaxSeconds = 4'000'000;

struct UnitsOptions {
  double seconds = kDefaultSeconds;
  app::DriverOptions driver;
};

// One unit being watched.
struct Watch {
  bool streaming = false;
  std::uint8_t audioMode = 3;
  std::array<std::uint64_t, device::kPortsPerUnit> callBlocks{};  // audio blocks of the call
  std::uint64_t records = 0;
  std::uint64_t audioBlocks = 0;
  std::uint64_t badPortBytes = 0;
  bool lost = false;
  device::UnitStreamBuffer buffer;
};

using Watches = std::array<Watch, device::kMaxUnits>;

// The units as the recorder's unit pass reads them, telling whether the stream of a unit that
// the pass reopened started again.
class WatchedUnits final : public engine::UnitStreams {
 public:
  explicit WatchedUnits(device::UnitLink& link) : link_(link) {}
  bool isListed(int unit) const override { return link_.isListed(unit); }
  bool isPresent(int unit) const override { return link_.isPresent(unit); }
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit) override {
    return link_.readStream(buffer, n, unit);
  }
  bool reopenUnit(int unit) override { return link_.reopenUnit(unit); }
  void restartStream(int unit) override { restarted_ = link_.restartStream(unit); }
  std::optional<std::uint8_t> readStreamControl(int unit) override {
    const device::CommandReply reply = link_.readStreamControl(unit);
    if (!reply) return std::nullopt;
    return *reply;
  }
  // The last reopened unit's stream was started again.
  bool restarted() const { return restarted_; }

 private:
  device::UnitLink& link_;
  bool restarted_ = false;
};

void printUdevRules(std::ostream& out, const app::DriverOptions& options) {
  const auto rule = app::findDataFile(device::kUdevRuleFileName);
  std::ifstream in(rule);
  if (!rule.empty() && in) {
    out << "---- " << rule.string() << '\n'
        << (std::ostringstream() << in.rdbuf()).str() << "---- end\n";
  } else {
    std::vector<device::FtdiD2xx::UsbId> ids;
    for (std::uint16_t product : device::FtdiD2xx::kFtdiProductIds) {
      ids.emplace_back(device::FtdiD2xx::kFtdiVendorId, product);
    }
    out << device::udevRules(ids);
  }
  if (!options.usbIds.empty()) {
    out << "and for the ids given with --usb-id:\n" << device::udevRules(options.usbIds);
  }
}

void printAccessHints(std::ostream& out, const app::DriverOptions& options) {
  out << "What to check:\n"
         "  - Is the unit connected and powered? `lsusb` should list it (FTDI chips show "
         "0403:6001,\n"
         "    0403:6010, 0403:6011, 0403:6014 or 0403:6015; a unit with an id of its own needs\n"
         "    --usb-id VID:PID).\n"
         "  - Kernel driver: the serial driver (ftdi_sio) is detached when a unit is opened; "
         "close\n"
         "    any program that holds /dev/ttyUSB* for it.\n"
         "  - Permissions: your user needs access to the USB device. Install this udev rule,\n"
         "    reload the rules and plug the unit in again:\n\n";
  printUdevRules(out, options);
  if (options.kind == app::DriverKind::kVendorLibrary) {
    out << "  - --driver d2xx needs the vendor's libftd2xx.so on the library path.\n";
  }
  out << "  - To try the program without hardware: pvtool units --simulate\n";
}

void printSettings(std::ostream& out, device::UnitLink& link, int u, Watch& watch) {
  out << "\nUnit" << u + 1 << "  serial " << base::printable(link.serial(u)) << '\n';
  const auto version = link.queryVersion(u);
  out << "  version     " << (version ? describeVersion(*version) : "no answer") << '\n';
  using device::Register;
  struct Row {
    const char* label;
    Register reg;
    std::string (*describe)(std::uint8_t);
  };
  const Row rows[] = {
      {"audio mode ", Register::kEncoderMode, describeAudioMode},
      {"caller ID  ", Register::kCallerIdMode, describeCallerIdMode},
      {"VAR ports  ", Register::kVarPorts, describeVarPorts},
      {"VAR thresh.", Register::kVarThreshold, describeVarThreshold},
      {"VAR off    ", Register::kVarTurnOffDelay, describeVarTurnOffDelay},
      {"VAR timeout", Register::kVarTimeout, describeVarTimeout},
  };
  for (const Row& row : rows) {
    const device::CommandReply reply = link.readRegister(row.reg, u);
    out << "  " << row.label << ' ' << (reply ? row.describe(*reply) : "no answer") << '\n';
    if (reply && row.reg == Register::kEncoderMode) watch.audioMode = *reply;
  }
  if (const auto number = link.readUnitNumber(u)) {
    out << formatted("  unit number 0x%08X (%u)\n", *number, *number);
  } else {
    out << "  unit number no answer\n";
  }
}

bool endsACall(std::uint8_t code) {
  return code == device::kCallEndEvent || code == device::kCalloutEndEvent ||
         code == device::kVarEndEvent;
}

void printRecord(std::ostream& out, double seconds, int u, const device::StreamRecord& r,
                 Watch& watch) {
  ++watch.records;
  if (r.code == device::kAudioEvent) {
    ++watch.audioBlocks;
    ++watch.callBlocks[r.port];
    return;
  }
  const int portNumber = u * device::kPortsPerUnit + r.port + 1;
  std::string line = unitEventName(r.code);
  const std::string detail = recordDetail(r);
  if (!detail.empty())
    line += std::string(13 - std::min<std::size_t>(line.size(), 12), ' ') + detail;
  if (endsACall(r.code)) {
    const std::uint64_t blocks = watch.callBlocks[r.port];
    line += formatted(
        "   (%llu audio blocks, %.1f s)", static_cast<unsigned long long>(blocks),
        double(blocks * codec::samplesPerBlock(watch.audioMode)) / codec::kSamplesPerSecond);
    watch.callBlocks[r.port] = 0;
  }
  out << formatted("%9.3f  Unit%d Port %-2d  %s\n", seconds, u + 1, portNumber, line.c_str());
}

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<UnitsOptions> parseOptions(const Args& arguments,
                                                       std::string& problem) {
  UnitsOptions options;
  Args args;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string value;
    if (arguments[i] == "--seconds" && i + 1 < arguments.size()) {
      value = arguments[++i];
    } else if (arguments[i].rfind("--seconds=", 0) == 0) {
      value = arguments[i].substr(10);
    } else if (arguments[i] != "--seconds") {
      args.push_back(arguments[i]);
      continue;
    }
    const auto parsed = parseDecimalOption("--seconds", value, kMinSeconds, kMaxSeconds, problem);
    if (!parsed) return std::nullopt;
    options.seconds = *parsed;
  }
  if (!app::takeDriverOptions(args, options.driver, problem)) return std::nullopt;
  if (!args.empty()) {
    problem = "unknown argument '" + base::printable(args[0]) + "'";
    return std::nullopt;
  }
  return options;
}

// Lists the USB devices; false, with what to check, when there is no unit.
[[nodiscard]] bool listUnits(std::ostream& out, device::D2xx& d2xx,
                             const app::DriverOptions& options) {
  std::uint32_t count = 0;
  if (d2xx.listCount(count) != device::D2xx::kOk) {
    const std::string why = d2xx.lastError();
    out << "Listing the USB devices failed" << (why.empty() ? "." : ": ") << why << '\n';
    printAccessHints(out, options);
    return false;
  }
  if (count == 0) {
    const std::string why = d2xx.lastError();
    out << "No recorder unit found." << (why.empty() ? "" : " ") << why << '\n';
    printAccessHints(out, options);
    return false;
  }
  out << count << " unit(s) listed"
      << (count > device::kMaxUnits ? "; only the first four are served" : "") << ".\n";
  return true;
}

// Opens the listed units; false, with what to check, when not even the first one opened.
[[nodiscard]] bool openUnits(std::ostream& out, device::UnitLink& link,
                             const app::DriverOptions& options) {
  if (link.openAll()) return true;
  out << "Opening the units failed";
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (link.isListed(u) && !link.isPresent(u)) {
      out << " at Unit" << u + 1 << " (serial " << base::printable(link.serial(u)) << ")";
      break;
    }
  }
  out << ".\n";
  printAccessHints(out, options);
  return link.isPresent(0);
}

// The settings of every open unit, and its stream started.
void startUnits(std::ostream& out, device::UnitLink& link, Watches& watches) {
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (!link.isPresent(u)) continue;
    Watch& watch = watches[std::size_t(u)];
    printSettings(out, link, u, watch);
    watch.streaming = link.restartStream(u);
    out << "  stream      " << (watch.streaming ? "started" : "did not start") << '\n';
  }
}

// One unit pass of unit `u`, `at` seconds into the watch: its events, and a unit that was lost.
void watchPass(std::ostream& out, WatchedUnits& units, base::Clock& clock, int u, double at,
               Watch& watch) {
  const engine::PassReads pass =
      engine::readUnitPass(units, watch.buffer, u, clock, [&](std::uint32_t n, std::int64_t) {
        const auto result = device::frameRead(watch.buffer, n, [&](const device::StreamRecord& r) {
          printRecord(out, at, u, r, watch);
        });
        if (result.badPortByte) {
          watch.badPortBytes += result.droppedBytes;
          out << formatted("%9.3f  Unit%d  port byte above 3: %zu bytes dropped\n", at, u + 1,
                           result.droppedBytes);
        }
      });
  if (!pass.reopenTried) return;
  if (!watch.lost) out << formatted("%9.3f  Unit%d lost (its read failed); reopening\n", at, u + 1);
  watch.lost = !pass.reopened;
  if (pass.reopened) {
    out << formatted("%9.3f  Unit%d reopened; stream %s\n", at, u + 1,
                     units.restarted() ? "restarted" : "did not restart");
  }
}

// Every listed unit's events for `seconds`, a unit pass each poll period. Every listed unit is
// polled, also one that failed to open.
void watchUnits(std::ostream& out, device::UnitLink& link, const app::Driver& driver,
                double seconds, Watches& watches) {
  base::Clock& clock = *driver.clock;
  WatchedUnits units(link);
  const std::int64_t start = clock.monotonicMs();
  const auto durationMs = static_cast<std::int64_t>(seconds * 1000);
  const int period = device::pollPeriodMs(true, link.isListed(2), link.isListed(3));
  out << "\nWatching for " << formatted("%g", seconds) << " s ("
      << (driver.virtualClock ? "virtual time" : "real time") << "), polling every " << period
      << " ms:\n"
      << std::flush;
  while (clock.monotonicMs() - start < durationMs) {
    const std::int64_t tickStart = clock.monotonicMs();
    for (int u = 0; u < device::kMaxUnits; ++u) {
      if (!link.isListed(u)) continue;
      const double at = double(clock.monotonicMs() - start) / 1000.0;
      watchPass(out, units, clock, u, at, watches[std::size_t(u)]);
    }
    out << std::flush;
    clock.sleepMs(tickStart + period - clock.monotonicMs());
  }
}

void printTotals(std::ostream& out, const device::UnitLink& link, const app::Driver& driver,
                 const Watches& watches) {
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (!link.isListed(u)) continue;
    const Watch& w = watches[std::size_t(u)];
    out << "Unit" << u + 1 << ": " << w.records << " records, " << w.audioBlocks << " audio blocks";
    if (w.badPortBytes) out << ", " << w.badPortBytes << " bytes dropped after bad port bytes";
    if (driver.sim) {
      if (auto* unit = driver.sim->findUnit(std::string(link.serial(u)))) {
        out << ", " << unit->droppedBytes() << " bytes lost to a full unit queue";
      }
    }
    out << '\n';
  }
}

}  // namespace

int runUnits(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<UnitsOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "units", kUnitsHelp, problem);
  auto driver = app::makeDriver(options->driver, problem);
  if (!driver) {
    err << "pvtool units: " << problem << '\n';
    return base::kExitFailed;
  }
  out << "Driver: " << driver->description << '\n';
  if (!listUnits(out, *driver->d2xx, options->driver)) return base::kExitFailed;
  device::UnitLink link(*driver->d2xx, *driver->clock);
  if (!openUnits(out, link, options->driver)) return base::kExitFailed;

  auto watches = std::make_unique<Watches>();
  startUnits(out, link, *watches);
  watchUnits(out, link, *driver, options->seconds, *watches);
  out << "\nStopping the streams.\n";
  for (int u = device::kMaxUnits - 1; u >= 0; --u) link.stopStream(u);
  printTotals(out, link, *driver, *watches);
  const bool closed = link.closeAll();
  out << (closed ? "Units closed." : "Closing a unit failed.") << '\n';
  return closed ? base::kExitOk : base::kExitFailed;
}

}  // namespace parvolin::tools
