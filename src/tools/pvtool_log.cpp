// pvtool log [FILE] [--config FILE] [--csv|--json|--jsonl]

#include <optional>
#include <ostream>
#include <string>

#include "app/config_file.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "engine/call_log.h"
#include "engine/recorder_settings.h"
#include "tools/call_log_format.h"
#include "tools/command_line.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {

constinit const std::string_view kLogHelp =
    "usage: pvtool log [FILE] [--csv | --json | --jsonl]\n"
    "       pvtool log [--config SETTINGS] [--csv | --json | --jsonl]\n"
    "Prints the call log, one call a line: its port, whether it was incoming (In), outgoing (Out)\n"
    "or voice-activated (VAR), its call type value, the caller's or the dialled number, its start\n"
    "in local time, its length and the seconds from its start to its audio. Without FILE it reads\n"
    "ParvolinLog.ZERU in the recording folder that the recorder's settings name (those of\n"
    "~/.config/ParvolinUsb/Parvolin.conf, or of the file --config names).\n"
    "  --csv              comma-separated values (RFC 4180: CRLF line ends, a header line)\n"
    "  --json             one JSON document: an array of calls\n"
    "  --jsonl            one JSON object per line, a call each\n"
    "  --config SETTINGS  the recorder's settings file, as parvolin --config takes it\n"
    "Every output is valid UTF-8: a byte of a number that is not printable ASCII (or UTF-8) is\n"
    "shown as \\xNN, and a backslash as \\\\. The log is read as a stream, in constant memory.\n"
    "Records that cannot be real (a port above 16, a call type the recorder never logs) and a\n"
    "last record cut short are reported on standard error with their byte offset and skipped.\n"
    "Exit status 0 when every record was printed, 1 when the log cannot be read, 2 for a bad\n"
    "command line, 4 when records were skipped.\n";

namespace {

using Format = LogFormat;
namespace fs = std::filesystem;

// Bad records told one by one; past these, only counted.
constexpr std::uint64_t kBadRecordsShown = 20;

struct LogOptions {
  std::optional<fs::path> file, config;
  Format format = Format::kText;
};

// The output format an option chooses, if it is one.
std::optional<Format> formatOption(const std::string& option) {
  if (option == "--csv") return Format::kCsv;
  if (option == "--json") return Format::kJson;
  if (option == "--jsonl") return Format::kJsonLines;
  return std::nullopt;
}

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<LogOptions> parseOptions(const Args& args, std::string& problem) {
  LogOptions options;
  std::string formatGiven;  // the option that chose the format
  for (std::size_t i = 0; i < args.size() && problem.empty(); ++i) {
    const std::string& a = args[i];
    if (const std::optional<Format> chosen = formatOption(a)) {
      if (!formatGiven.empty() && options.format != *chosen) {
        problem = formatGiven + " and " + a + " contradict each other";
      }
      options.format = *chosen;
      formatGiven = a;
    } else if (a == "--config") {
      if (i + 1 == args.size()) problem = "--config needs a settings file";
      if (i + 1 < args.size()) options.config = args[++i];
    } else if (a.starts_with("-")) {
      problem = "unknown option '" + base::printable(a) + "'";
    } else if (options.file) {
      problem = "one log at a time ('" + base::printable(a) + "' is a second one)";
    } else {
      options.file = a;
    }
  }
  if (problem.empty() && options.file && options.config) {
    problem = "--config finds the log of the configured folder; a log FILE needs none";
  }
  if (!problem.empty()) return std::nullopt;
  return options;
}

// The log of the recording folder the stored settings name; empty, with the reason written to
// `err`, when there is none.
fs::path configuredLog(const ToolContext& context, const std::optional<fs::path>& config,
                       std::ostream& err) {
  const std::string where = config ? "the settings file " + base::printable(config->string())
                                   : std::string("the recorder's settings");
  if (!context.openSettings) {
    err << "pvtool log: this build cannot read " << where << "; name the log file\n";
    return {};
  }
  const std::unique_ptr<settings::SettingsStore> store = context.openSettings(config);
  const std::string folder =
      store->getStringOr(engine::settingSpec(engine::Setting::kParvolinPath).name, "");
  if (folder.empty()) {
    err << "pvtool log: " << where
        << " name no recording folder (the recorder has not run with them); name the log file\n";
    return {};
  }
  return fs::path(folder) / engine::kCallLogName;
}

// Every record of the log in `format` on `out`; those that cannot be real are told on `err`
// and skipped. Returns how many were skipped.
std::uint64_t printRecords(engine::CallLogReader& reader, Format format, const std::string& shown,
                           std::ostream& out, std::ostream& err) {
  CallLogFormatter printer(format, out);
  printer.begin();
  engine::CallRecord record;
  std::uint64_t offset = 0;
  std::uint64_t bad = 0;
  while (reader.next(record, offset)) {
    if (engine::isRealCall(record)) [[likely]] {
      printer.print(record);
    } else if (++bad <= kBadRecordsShown) {
      err << "pvtool log: " << shown << ": byte " << offset << ": "
          << engine::whyNotARealCall(record) << "; record skipped\n";
    }
  }
  printer.finish();
  return bad;
}

// What the read left out: a failed read, the bad records not told one by one, a torn record.
void reportSkipped(const engine::CallLogReader& reader, std::uint64_t bad, const std::string& shown,
                   std::ostream& err) {
  if (reader.error()) {
    err << "pvtool log: " << shown << ": read failed at byte " << reader.tornOffset() << ": "
        << reader.error().message() << '\n';
  }
  if (bad > kBadRecordsShown) {
    err << "pvtool log: " << shown << ": " << bad - kBadRecordsShown
        << " more records that cannot be real skipped\n";
  }
  if (reader.tornBytes() != 0) {
    err << "pvtool log: " << shown << ": byte " << reader.tornOffset() << ": " << reader.tornBytes()
        << " bytes after the last whole record (a record cut short); skipped\n";
  }
}

}  // namespace

int runLog(const Args& args, const ToolContext& context, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<LogOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "log", kLogHelp, problem);
  fs::path file;
  if (options->file) {
    file = *options->file;
  } else {
    if (const auto configProblem =
            options->config ? app::configFileProblem(*options->config, app::ConfigUse::kRead)
                            : std::nullopt) {
      err << "pvtool log: --config: " << base::printable(*configProblem) << '\n';
      return base::kExitUsage;
    }
    file = configuredLog(context, options->config, err);
    if (file.empty()) return base::kExitFailed;
  }
  const std::string shown = base::printable(file.string());

  engine::CallLogReader reader;
  if (const std::error_code error = reader.open(file)) {
    err << "pvtool log: " << shown << ": " << error.message() << '\n';
    return base::kExitFailed;
  }
  const std::uint64_t bad = printRecords(reader, options->format, shown, out, err);
  reportSkipped(reader, bad, shown, err);
  if (!out.flush()) {
    err << "pvtool log: cannot write the output\n";
    return base::kExitFailed;
  }
  if (reader.error()) return base::kExitFailed;
  return bad != 0 || reader.tornBytes() != 0 ? base::kExitIncomplete : base::kExitOk;
}

}  // namespace parvolin::tools
