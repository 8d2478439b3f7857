#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "device/d2xx.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"

// How a program (the recorder, pvtool) reaches its units, from its command line:
//   --driver ftdi|d2xx|sim   libftdi1 (the default), the vendor's library, or emulated units
//   --simulate[=SCENARIO]    emulated units playing SCENARIO (default: demo.scenario next to the
//                            program or in the source tree; without one, built-in random calls)
//   --usb-id VID:PID         a further USB id to list (hex; repeatable), for units with an id of
//                            their own
//   --realtime | --virtual   emulated units on the wall clock, or on a virtual clock that runs
//                            as fast as the machine allows (the default for emulated units)
// A program never falls back to emulated units by itself: a broken cable must never produce
// invented calls.
namespace parvolin::app {

enum class DriverKind { kFtdi, kVendorLibrary, kSim };
enum class TimeMode { kDefault, kRealtime, kVirtual };

struct DriverOptions {
  DriverKind kind = DriverKind::kFtdi;
  std::string scenario;                                         // empty: the default scenario
  std::vector<std::pair<std::uint16_t, std::uint16_t>> usbIds;  // vendor id, product id
  TimeMode time = TimeMode::kDefault;
};

// Takes the driver options out of `args`, leaving the other arguments in their order. False,
// with `error` set, for a bad value or options that contradict each other.
[[nodiscard]] bool takeDriverOptions(std::vector<std::string>& args, DriverOptions& options,
                                     std::string& error);

// The library and the clock a program runs on. The clock outlives the library that uses it.
struct Driver {
  std::unique_ptr<base::Clock> clock;
  std::unique_ptr<device::D2xx> d2xx;
  sim::SimD2xx* sim = nullptr;                 // set for emulated units
  base::VirtualClock* virtualClock = nullptr;  // set when time is virtual
  std::int64_t scenarioEndMs = 0;              // emulated units: when the scripted events are over
  std::string description;                     // for the user: what runs, on which clock
};

// Builds the driver of `options`. Fails, with `error` set, only for a scenario that does not
// load; a hardware library that is missing shows up in its listing (D2xx::lastError).
std::optional<Driver> makeDriver(const DriverOptions& options, std::string& error);

// The hardware backends (libftdi1, the vendor's library).
std::unique_ptr<device::D2xx> makeHardwareD2xx(const DriverOptions& options);

// A file shipped in data/: next to the program, in the installed share folder, or in the source
// tree the program was built from. Empty when none exists.
std::filesystem::path findDataFile(std::string_view name);

}  // namespace parvolin::app
