// pvtool units: lists the attached units with their settings, then watches their streams.

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "app/driver_choice.h"
#include "base/program_text.h"
#include "codec/lv_format.h"
#include "device/driver_support.h"
#include "device/stream_framing.h"
#include "device/unit_link.h"
#include "device/unit_protocol.h"
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

void printAccessHints(const app::DriverOptions& options) {
  std::printf(
      "What to check:\n"
      "  - Is the unit connected and powered? `lsusb` should list it (FTDI chips show 0403:6001,\n"
      "    0403:6010, 0403:6011, 0403:6014 or 0403:6015; a unit with an id of its own needs\n"
      "    --usb-id VID:PID).\n"
      "  - Kernel driver: the serial driver (ftdi_sio) is detached when a unit is opened; close\n"
      "    any program that holds /dev/ttyUSB* for it.\n"
      "  - Permissions: your user needs access to the USB device. Install this udev rule,\n"
      "    reload the rules and plug the unit in again:\n\n");
  const auto rule = app::findDataFile(device::kUdevRuleFileName);
  std::ifstream in(rule);
  if (!rule.empty() && in) {
    std::printf("---- %s\n%s---- end\n", rule.string().c_str(),
                (std::ostringstream() << in.rdbuf()).str().c_str());
  } else {
    std::vector<device::FtdiD2xx::UsbId> ids;
    for (std::uint16_t product : device::FtdiD2xx::kFtdiProductIds) {
      ids.emplace_back(device::FtdiD2xx::kFtdiVendorId, product);
    }
    std::printf("%s", device::udevRules(ids).c_str());
  }
  if (!options.usbIds.empty()) {
    std::printf("and for the ids given with --usb-id:\n%s",
                device::udevRules(options.usbIds).c_str());
  }
  if (options.kind == app::DriverKind::kVendorLibrary) {
    std::printf("  - --driver d2xx needs the vendor's libftd2xx.so on the library path.\n");
  }
  std::printf("  - To try the program without hardware: pvtool units --simulate\n");
}

void printSettings(device::UnitLink& link, int u, Watch& watch) {
  std::printf("\nUnit%d  serial %s\n", u + 1, base::printable(link.serial(u)).c_str());
  if (const auto version = link.queryVersion(u)) {
    std::printf("  version     %s\n", describeVersion(*version).c_str());
  } else {
    std::printf("  version     no answer\n");
  }
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
    std::printf("  %s %s\n", row.label, reply ? row.describe(*reply).c_str() : "no answer");
    if (reply && row.reg == Register::kEncoderMode) watch.audioMode = *reply;
  }
  if (const auto number = link.readUnitNumber(u)) {
    std::printf("  unit number 0x%08X (%u)\n", *number, *number);
  } else {
    std::printf("  unit number no answer\n");
  }
}

void printRecord(double seconds, int u, const device::StreamRecord& r, Watch& watch) {
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
  if (r.code == device::kCallEndEvent || r.code == device::kCalloutEndEvent ||
      r.code == device::kVarEndEvent) {
    const std::uint64_t blocks = watch.callBlocks[r.port];
    char audio[80];
    std::snprintf(
        audio, sizeof audio, "   (%llu audio blocks, %.1f s)",
        static_cast<unsigned long long>(blocks),
        double(blocks * codec::samplesPerBlock(watch.audioMode)) / codec::kSamplesPerSecond);
    line += audio;
    watch.callBlocks[r.port] = 0;
  }
  std::printf("%9.3f  Unit%d Port %-2d  %s\n", seconds, u + 1, portNumber, line.c_str());
}

std::optional<double> takeSeconds(Args& args, std::string& error) {
  double seconds = kDefaultSeconds;
  Args rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string value;
    if (args[i] == "--seconds" && i + 1 < args.size()) {
      value = args[++i];
    } else if (args[i].rfind("--seconds=", 0) == 0) {
      value = args[i].substr(10);
    } else if (args[i] == "--seconds") {
      value = "";
    } else {
      rest.push_back(args[i]);
      continue;
    }
    const auto parsed = parseDecimalOption("--seconds", value, kMinSeconds, kMaxSeconds, error);
    if (!parsed) return std::nullopt;
    seconds = *parsed;
  }
  args = std::move(rest);
  return seconds;
}

}  // namespace

int runUnits(const Args& arguments) {
  Args args = arguments;
  app::DriverOptions options;
  std::string error;
  const auto seconds = takeSeconds(args, error);
  if (!seconds || !app::takeDriverOptions(args, options, error)) {
    std::fprintf(stderr, "pvtool units: %s\n%s", error.c_str(), kUnitsHelp.data());
    return 2;
  }
  if (!args.empty()) {
    std::fprintf(stderr, "pvtool units: unknown argument '%s'\n%s",
                 base::printable(args[0]).c_str(), kUnitsHelp.data());
    return 2;
  }
  auto driver = app::makeDriver(options, error);
  if (!driver) {
    std::fprintf(stderr, "pvtool units: %s\n", error.c_str());
    return 1;
  }
  std::printf("Driver: %s\n", driver->description.c_str());
  base::Clock& clock = *driver->clock;
  device::D2xx& d2xx = *driver->d2xx;

  std::uint32_t count = 0;
  if (d2xx.listCount(count) != device::D2xx::kOk) {
    const std::string why = d2xx.lastError();
    std::printf("Listing the USB devices failed%s%s\n", why.empty() ? "." : ": ", why.c_str());
    printAccessHints(options);
    return 1;
  }
  if (count == 0) {
    std::printf("No recorder unit found.%s%s\n", d2xx.lastError().empty() ? "" : " ",
                d2xx.lastError().c_str());
    printAccessHints(options);
    return 1;
  }
  std::printf("%u unit(s) listed%s.\n", count,
              count > device::kMaxUnits ? "; only the first four are served" : "");

  device::UnitLink link(d2xx, clock);
  if (!link.openAll()) {
    std::printf("Opening the units failed");
    for (int u = 0; u < device::kMaxUnits; ++u) {
      if (link.isListed(u) && !link.isPresent(u)) {
        std::printf(" at Unit%d (serial %s)", u + 1, base::printable(link.serial(u)).c_str());
        break;
      }
    }
    std::printf(".\n");
    printAccessHints(options);
    if (!link.isPresent(0)) return 1;
  }

  auto watches = std::make_unique<std::array<Watch, device::kMaxUnits>>();
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (!link.isPresent(u)) continue;
    printSettings(link, u, (*watches)[u]);
    (*watches)[u].streaming = link.restartStream(u);
    std::printf("  stream      %s\n", (*watches)[u].streaming ? "started" : "did not start");
  }

  const std::int64_t start = clock.monotonicMs();
  const auto durationMs = static_cast<std::int64_t>(*seconds * 1000);
  // Every listed unit is polled, also one that failed to open.
  const int period = device::pollPeriodMs(true, link.isListed(2), link.isListed(3));
  std::printf("\nWatching for %g s (%s), polling every %d ms:\n", *seconds,
              driver->virtualClock ? "virtual time" : "real time", period);
  std::fflush(stdout);
  while (clock.monotonicMs() - start < durationMs) {
    const std::int64_t tickStart = clock.monotonicMs();
    for (int u = 0; u < device::kMaxUnits; ++u) {
      if (!link.isListed(u)) continue;
      Watch& watch = (*watches)[u];
      const double at = (clock.monotonicMs() - start) / 1000.0;
      const std::uint32_t n =
          link.readStream(watch.buffer.readTarget(), device::UnitStreamBuffer::kMaxRead, u);
      if (n == 0) {
        if (link.isPresent(u)) continue;
        if (!watch.lost)
          std::printf("%9.3f  Unit%d lost (its read failed); reopening\n", at, u + 1);
        watch.lost = true;
        if (link.reopenUnit(u)) {
          watch.lost = false;
          watch.buffer.writePos = 0;
          std::printf("%9.3f  Unit%d reopened; stream %s\n", at, u + 1,
                      link.restartStream(u) ? "restarted" : "did not restart");
        }
        continue;
      }
      const auto result = device::frameRead(
          watch.buffer, n, [&](const device::StreamRecord& r) { printRecord(at, u, r, watch); });
      if (result.badPortByte) {
        watch.badPortBytes += result.droppedBytes;
        std::printf("%9.3f  Unit%d  port byte above 3: %zu bytes dropped\n", at, u + 1,
                    result.droppedBytes);
      }
    }
    std::fflush(stdout);
    const std::int64_t next = tickStart + period;
    clock.sleepMs(next - clock.monotonicMs());
  }

  std::printf("\nStopping the streams.\n");
  for (int u = device::kMaxUnits - 1; u >= 0; --u) link.stopStream(u);
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (!link.isListed(u)) continue;
    const Watch& w = (*watches)[u];
    std::printf("Unit%d: %llu records, %llu audio blocks", u + 1,
                static_cast<unsigned long long>(w.records),
                static_cast<unsigned long long>(w.audioBlocks));
    if (w.badPortBytes)
      std::printf(", %llu bytes dropped after bad port bytes",
                  static_cast<unsigned long long>(w.badPortBytes));
    if (driver->sim) {
      if (auto* unit = driver->sim->findUnit(std::string(link.serial(u)))) {
        std::printf(", %llu bytes lost to a full unit queue",
                    static_cast<unsigned long long>(unit->droppedBytes()));
      }
    }
    std::printf("\n");
  }
  const bool closed = link.closeAll();
  std::printf("%s\n", closed ? "Units closed." : "Closing a unit failed.");
  return closed ? 0 : 1;
}

}  // namespace parvolin::tools
