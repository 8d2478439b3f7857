// pvtool sim SCENARIO -o FILE.pvcap [--seconds N]: what a recorder would read from emulated
// units, run on the virtual clock, written as a stream capture.

#include <array>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "base/clock.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "device/unit_link.h"
#include "engine/output_files.h"
#include "engine/stream_capture.h"
#include "engine/unit_pass_reads.h"
#include "engine/unit_streams.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "tools/command_line.h"
#include "tools/number_options.h"
#include "tools/pvtool_commands.h"
#include "tools/sim_units.h"
#include "tools/terminal_prompt.h"

namespace parvolin::tools {
namespace {

constexpr std::int64_t kTailMs = 2000;  // time after the scenario's end for the last bytes
// A capture's record times span at most 2^32 ms (49.7 days).
constexpr double kMaxSeconds = 4'000'000;
// A millisecond of virtual time at least.
constexpr double kMinSeconds = 0.001;
// How long random calls run when no time is given.
constexpr std::int64_t kRandomCallsMs = 60'000;

struct SimOptions {
  std::string scenario, output;
  std::optional<double> seconds;
  engine::ExistingFile existing = engine::ExistingFile::kRefuse;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<SimOptions> parseOptions(const Args& args, std::string& problem) {
  SimOptions options;
  std::optional<std::string> scenario, output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "-o" && hasValue) {
      output = args[++i];
    } else if (a == "--seconds" && hasValue) {
      options.seconds =
          parseDecimalOption("--seconds", args[++i], kMinSeconds, kMaxSeconds, problem);
      if (!options.seconds) return std::nullopt;
    } else if (a == "--force") {
      options.existing = engine::ExistingFile::kReplace;
    } else if (a == "-o" || a == "--seconds") {
      problem = a + " needs a value";
    } else if (a.starts_with("-")) {
      problem = "unknown option '" + base::printable(a) + "'";
    } else if (scenario) {
      problem = "one scenario at a time ('" + base::printable(a) + "' is a second one)";
    } else {
      scenario = a;
    }
    if (!problem.empty()) return std::nullopt;
  }
  if (!scenario) {
    problem = "no scenario named";
  } else if (!output) {
    problem = "-o FILE.pvcap is needed";
  } else if (const auto outputProblem = engine::outputFileProblem(*output, options.existing)) {
    problem = *outputProblem;
  }
  if (!problem.empty()) return std::nullopt;
  options.scenario = *scenario;
  options.output = *output;
  return options;
}

// The scenario named, or the built-in random calls; nothing with `error` set.
[[nodiscard]] std::optional<sim::Scenario> scenarioNamed(const std::string& name,
                                                         std::string& error) {
  if (name == "builtin") return sim::builtInScenario();
  return sim::loadScenario(name, error);
}

// Ticks whose reads are written to the capture together: a recorder writes every tick, but
// here the ticks come without waiting, and one write for each (tens of thousands an hour of
// virtual time) cost more than the units' audio.
constexpr int kTicksPerWrite = 64;

// Runs the units' reads until `durationMs` of virtual time after `originMs` into `writer`, a unit
// pass per unit each poll period, as the recorder would read them.
void captureReads(device::UnitLink& link, base::VirtualClock& clock, const UnitsSetUp& setUp,
                  std::int64_t originMs, std::int64_t durationMs, engine::CaptureWriter& writer) {
  engine::LinkStreams streams(link);
  auto buffers = std::make_unique<std::array<device::UnitStreamBuffer, device::kMaxUnits>>();
  std::int64_t nextTickMs = clock.monotonicMs() + setUp.pollPeriodMs;
  for (int tick = 1; clock.monotonicMs() - originMs < durationMs && writer.isActive(); ++tick) {
    clock.advanceMs(nextTickMs - clock.monotonicMs());
    nextTickMs += setUp.pollPeriodMs;
    for (int u = 0; u < device::kMaxUnits; ++u) {
      if (!link.isListed(u)) continue;
      device::UnitStreamBuffer& buffer = (*buffers)[std::size_t(u)];
      engine::readUnitPass(streams, buffer, u, clock, [&](std::uint32_t n, std::int64_t wallMs) {
        writer.append(u, {buffer.readTarget(), n}, wallMs);
      });
    }
    if (tick % kTicksPerWrite == 0) writer.flush();
  }
  writer.flush();
}

void reportDroppedRecords(sim::SimD2xx& d2xx, std::ostream& err) {
  for (std::size_t u = 0; u < d2xx.unitCount(); ++u) {
    if (d2xx.unit(u).droppedRecords() != 0) {
      err << "unit " << d2xx.unit(u).serial() << " dropped " << d2xx.unit(u).droppedRecords()
          << " records: its queue overflowed\n";
    }
  }
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

int runSim(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<SimOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "sim", kSimHelp, problem);
  const std::optional<sim::Scenario> scenario = scenarioNamed(options->scenario, problem);
  if (!scenario) {
    err << "pvtool sim: " << problem << '\n';
    return base::kExitFailed;
  }
  std::int64_t durationMs =
      options->seconds ? std::int64_t(*options->seconds * 1000) : scenario->endMs() + kTailMs;
  if (!options->seconds && scenario->endMs() == 0) durationMs = kRandomCallsMs;

  base::VirtualClock clock(base::SystemClock().wallSeconds() * 1000);
  sim::SimD2xx d2xx(*scenario, clock);
  device::UnitLink link(d2xx, clock);
  // The time the set-up takes counts to the run.
  const std::int64_t originMs = clock.monotonicMs();
  const UnitsSetUp setUp = setUpUnits(link, clock);

  StreamDiagnostics diagnostics(err);
  std::error_code error;
  std::unique_ptr<engine::CaptureWriter> writer = engine::CaptureWriter::create(
      options->output, setUp.header, diagnostics, error, options->existing);
  if (!writer) {
    err << "pvtool sim: " << base::printable(options->output) << ": " << error.message() << '\n';
    return base::kExitFailed;
  }
  captureReads(link, clock, setUp, originMs, durationMs, *writer);
  const bool written = writer->isActive();
  const std::uint64_t records = writer->recordCount();
  writer.reset();
  reportDroppedRecords(d2xx, err);
  if (!written) return base::kExitFailed;
  out << records << " reads in " << formatted("%.1f", double(durationMs) / 1000.0)
      << " virtual seconds written to " << options->output << '\n';
  return base::kExitOk;
}

}  // namespace parvolin::tools
