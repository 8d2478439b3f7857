// pvtool sim SCENARIO -o FILE.pvcap [--seconds N]: what a recorder would read from emulated
// units, run on the virtual clock, written as a stream capture.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "device/unit_link.h"
#include "engine/output_files.h"
#include "engine/stream_capture.h"
#include "engine/unit_pass_reads.h"
#include "engine/unit_streams.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "tools/number_options.h"
#include "tools/pvtool_commands.h"
#include "tools/sim_units.h"

namespace parvolin::tools {
namespace {

constexpr std::int64_t kTailMs = 2000;  // time after the scenario's end for the last bytes
// A capture's record times span at most 2^32 ms (49.7 days).
constexpr double kMaxSeconds = 4'000'000;

// A millisecond of virtual time at least.
constexpr double kMinSeconds = 0.001;

int usage(const std::string& problem) {
  std::fprintf(stderr, "pvtool sim: %s\n%s", problem.c_str(), kSimHelp.data());
  return base::kExitUsage;
}

}  // namespace

constinit const std::string_view kSimHelp =
    "usage: pvtool sim SCENARIO|builtin -o FILE.pvcap [--seconds N] [--force]\n"
    "Runs emulated units playing SCENARIO (its format: docs/scenario-format.md; \"builtin\" plays\n"
    "random calls) on a virtual clock and writes what a recorder would read from them as a\n"
    "stream capture, for pvtool capture and pvtool replay.\n"
    "  -o FILE      the capture to write (a file there already is kept unless --force)\n"
    "  --seconds N  how long to run, 0.001 to 4000000 (default: to the scenario's end and 2 s\n"
    "               more; 60 s for random calls)\n"
    "  --force      replace FILE when it exists (never a recording folder's own files)\n"
    "Exit status 0 when the capture was written, 1 when the scenario or the capture failed, 2 for\n"
    "a bad command line.\n";

int runSim(const Args& args) {
  std::optional<std::string> scenarioName, output;
  std::optional<double> seconds;
  engine::ExistingFile existing = engine::ExistingFile::kRefuse;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "-o" && hasValue) {
      output = args[++i];
    } else if (a == "--seconds" && hasValue) {
      std::string error;
      seconds = parseDecimalOption("--seconds", args[++i], kMinSeconds, kMaxSeconds, error);
      if (!seconds) return usage(error);
    } else if (a == "--force") {
      existing = engine::ExistingFile::kReplace;
    } else if (a == "-o" || a == "--seconds") {
      return usage(a + " needs a value");
    } else if (a.starts_with("-")) {
      return usage("unknown option '" + base::printable(a) + "'");
    } else if (scenarioName) {
      return usage("one scenario at a time ('" + base::printable(a) + "' is a second one)");
    } else {
      scenarioName = a;
    }
  }
  if (!scenarioName) return usage("no scenario named");
  if (!output) return usage("-o FILE.pvcap is needed");
  if (const auto problem = engine::outputFileProblem(*output, existing)) return usage(*problem);

  sim::Scenario scenario;
  if (*scenarioName == "builtin") {
    scenario = sim::builtInScenario();
  } else {
    std::string error;
    std::optional<sim::Scenario> loaded = sim::loadScenario(*scenarioName, error);
    if (!loaded) {
      std::fprintf(stderr, "pvtool sim: %s\n", error.c_str());
      return base::kExitFailed;
    }
    scenario = std::move(*loaded);
  }
  std::int64_t durationMs = seconds ? std::int64_t(*seconds * 1000) : scenario.endMs() + kTailMs;
  if (!seconds && scenario.endMs() == 0) durationMs = 60'000;  // endless random calls

  base::VirtualClock clock(base::SystemClock().wallSeconds() * 1000);
  sim::SimD2xx d2xx(scenario, clock);
  device::UnitLink link(d2xx, clock);
  const std::int64_t originMs = clock.monotonicMs();
  const UnitsSetUp setUp = setUpUnits(link, clock);

  base::StderrDiagnostics diagnostics;
  std::error_code error;
  std::unique_ptr<engine::CaptureWriter> writer =
      engine::CaptureWriter::create(*output, setUp.header, diagnostics, error, existing);
  if (!writer) {
    std::fprintf(stderr, "pvtool sim: %s: %s\n", base::printable(*output).c_str(),
                 error.message().c_str());
    return 1;
  }
  engine::LinkStreams streams(link);
  auto buffers = std::make_unique<std::array<device::UnitStreamBuffer, device::kMaxUnits>>();
  std::int64_t nextTickMs = clock.monotonicMs() + setUp.pollPeriodMs;
  while (clock.monotonicMs() - originMs < durationMs && writer->isActive()) {
    clock.advanceMs(nextTickMs - clock.monotonicMs());
    nextTickMs += setUp.pollPeriodMs;
    for (int u = 0; u < device::kMaxUnits; ++u) {
      if (!link.isListed(u)) continue;
      device::UnitStreamBuffer& buffer = (*buffers)[std::size_t(u)];
      engine::readUnitPass(streams, buffer, u, clock, [&](std::uint32_t n, std::int64_t wallMs) {
        writer->append(u, {buffer.readTarget(), n}, wallMs);
      });
    }
    writer->flush();
  }
  const bool written = writer->isActive();
  const std::uint64_t records = writer->recordCount();
  writer.reset();
  for (std::size_t u = 0; u < d2xx.unitCount(); ++u) {
    if (d2xx.unit(u).droppedRecords() != 0) {
      std::fprintf(stderr, "unit %s dropped %llu records: its queue overflowed\n",
                   d2xx.unit(u).serial().c_str(),
                   static_cast<unsigned long long>(d2xx.unit(u).droppedRecords()));
    }
  }
  if (!written) return 1;
  std::printf("%llu reads in %.1f virtual seconds written to %s\n",
              static_cast<unsigned long long>(records), durationMs / 1000.0, output->c_str());
  return 0;
}

}  // namespace parvolin::tools
