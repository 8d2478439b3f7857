#include "tools/pvtool_commands.h"

#include <algorithm>
#include <ostream>

#include "base/exit_status.h"
#include "base/program_text.h"
#include "tools/command_line.h"

namespace parvolin::tools {
namespace {

template <int (*run)(const Args&, std::ostream&, std::ostream&)>
int withoutContext(const Args& args, const ToolContext&, std::ostream& out, std::ostream& err) {
  return run(args, out, err);
}

const ToolCommand kCommands[] = {
    {"units", "list the recorder units and watch their streams", kUnitsHelp,
     withoutContext<runUnits>},
    {"replay", "replay a stream capture into a recording folder", kReplayHelp,
     withoutContext<runReplay>},
    {"capture", "show what a stream capture holds", kCaptureHelp, withoutContext<runCapture>},
    {"log", "print the call log (text, CSV, JSON)", kLogHelp, runLog},
    {"sim", "write a stream capture from emulated units", kSimHelp, withoutContext<runSim>},
    {"convert", "decode LV recordings into WAV files or raw 16-bit", kConvertHelp,
     withoutContext<runConvert>},
    {"list", "sort, search, edit or delete calls of an HTML call list", kListHelp,
     withoutContext<runList>},
    {"batch-wav", "convert the calls of a list into a WaveFolder", kBatchWavHelp,
     withoutContext<runBatchWav>},
    {"status", "show a running recorder's lines, counters and problems", kStatusHelp,
     withoutContext<runStatus>},
    {"recover", "put a recording folder right after the recorder died", kRecoverHelp,
     withoutContext<runRecover>},
    {"retention", "delete the oldest calls as the retention settings allow", kRetentionHelp,
     runRetention},
    {"settings", "show or change the recorder's software settings", kSettingsHelp, runSettings},
    {"unit-settings", "show or write a unit's VAR, caller-ID and audio mode settings",
     kUnitSettingsHelp, withoutContext<runUnitSettings>},
    {"web-user", "add, list, remove or change the web server's users", kWebUserHelp,
     withoutContext<runWebUser>},
    {"audit", "print the web server's audit log", kAuditHelp, withoutContext<runAudit>},
};

void printCommandList(std::ostream& to) {
  to << kPvtoolHelp << "\ncommands:\n";
  for (const ToolCommand& c : kCommands) {
    to << formatted("  %-13.*s ", int(c.name.size()), c.name.data()) << c.summary << '\n';
  }
  to << "\n'pvtool COMMAND --help' tells more of each; the manual is pvtool(1).\n";
}

// "--help" or "--version" among a command's options; arguments after "--" are not options.
std::string_view askedFor(const Args& args) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h" || a == "--version") return a;
  }
  return {};
}

}  // namespace

const std::string_view kPvtoolHelp =
    "usage: pvtool COMMAND [ARGS...]\n"
    "       pvtool --help | --version\n"
    "The call recorder's operations for scripts and for people at a terminal.\n";

std::span<const ToolCommand> toolCommands() {
  return kCommands;
}

int runPvtool(const Args& args, const ToolContext& context, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    printCommandList(err);
    return base::kExitUsage;
  }
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    printCommandList(out);
    return base::kExitOk;
  }
  if (first == "--version") {
    out << base::versionLine("pvtool") << '\n';
    return base::kExitOk;
  }
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const ToolCommand& c) { return c.name == first; });
  if (command == std::end(kCommands)) {
    err << "pvtool: unknown command '" << base::printable(first) << "'\n";
    printCommandList(err);
    return base::kExitUsage;
  }
  const Args rest(args.begin() + 1, args.end());
  const std::string_view asked = askedFor(rest);
  if (asked == "--version") {
    out << base::versionLine("pvtool") << '\n';
    return base::kExitOk;
  }
  if (!asked.empty()) {
    out << command->help;
    return base::kExitOk;
  }
  return command->run(rest, context, out, err);
}

}  // namespace parvolin::tools
