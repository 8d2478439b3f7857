// pvtool log [FILE] [--config FILE] [--csv|--json|--jsonl]

#include <cstdio>
#include <string>

#include "app/config_file.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "engine/call_log.h"
#include "engine/recorder_settings.h"
#include "tools/call_log_format.h"
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

// Bad records told one by one; past these, only counted.
constexpr std::uint64_t kBadRecordsShown = 20;

int usage(const std::string& problem) {
  std::fprintf(stderr, "pvtool log: %s\n%s", problem.c_str(), kLogHelp.data());
  return base::kExitUsage;
}

// The log of the recording folder the stored settings name; empty, with the reason printed,
// when there is none.
std::filesystem::path configuredLog(const ToolContext& context,
                                    const std::optional<std::filesystem::path>& config) {
  const std::string where = config ? "the settings file " + base::printable(config->string())
                                   : std::string("the recorder's settings");
  if (!context.openSettings) {
    std::fprintf(stderr, "pvtool log: this build cannot read %s; name the log file\n",
                 where.c_str());
    return {};
  }
  const std::unique_ptr<settings::SettingsStore> store = context.openSettings(config);
  const std::string folder =
      store->getStringOr(engine::settingSpec(engine::Setting::kParvolinPath).name, "");
  if (folder.empty()) {
    std::fprintf(stderr,
                 "pvtool log: %s name no recording folder (the recorder has not run with them);"
                 " name the log file\n",
                 where.c_str());
    return {};
  }
  return std::filesystem::path(folder) / engine::kCallLogName;
}

}  // namespace

int runLog(const Args& args, const ToolContext& context) {
  std::optional<std::filesystem::path> file, config;
  std::optional<Format> format;
  std::string formatOption;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::optional<Format> chosen;
    if (a == "--csv") {
      chosen = Format::kCsv;
    } else if (a == "--json") {
      chosen = Format::kJson;
    } else if (a == "--jsonl") {
      chosen = Format::kJsonLines;
    } else if (a == "--config") {
      if (i + 1 == args.size()) return usage("--config needs a settings file");
      config = args[++i];
    } else if (a.starts_with("-")) {
      return usage("unknown option '" + base::printable(a) + "'");
    } else if (file) {
      return usage("one log at a time ('" + base::printable(a) + "' is a second one)");
    } else {
      file = a;
    }
    if (chosen) {
      if (format && *format != *chosen)
        return usage(formatOption + " and " + a + " contradict each other");
      format = chosen;
      formatOption = a;
    }
  }
  if (file && config) {
    return usage("--config finds the log of the configured folder; a log FILE needs none");
  }
  if (!file) {
    if (const auto problem =
            config ? app::configFileProblem(*config, app::ConfigUse::kRead) : std::nullopt) {
      std::fprintf(stderr, "pvtool log: --config: %s\n", base::printable(*problem).c_str());
      return base::kExitUsage;
    }
    file = configuredLog(context, config);
    if (file->empty()) return base::kExitFailed;
  }
  const std::string shown = base::printable(file->string());

  engine::CallLogReader reader;
  if (const std::error_code error = reader.open(*file)) {
    std::fprintf(stderr, "pvtool log: %s: %s\n", shown.c_str(), error.message().c_str());
    return base::kExitFailed;
  }
  CallLogFormatter printer(format.value_or(Format::kText), stdout);
  printer.begin();
  engine::CallRecord record;
  std::uint64_t offset = 0;
  std::uint64_t bad = 0;
  while (reader.next(record, offset)) {
    const std::string why = engine::whyNotARealCall(record);
    if (why.empty()) {
      printer.print(record);
      continue;
    }
    if (++bad <= kBadRecordsShown) {
      std::fprintf(stderr, "pvtool log: %s: byte %llu: %s; record skipped\n", shown.c_str(),
                   static_cast<unsigned long long>(offset), why.c_str());
    }
  }
  printer.finish();
  if (reader.error()) {
    std::fprintf(stderr, "pvtool log: %s: read failed at byte %llu: %s\n", shown.c_str(),
                 static_cast<unsigned long long>(reader.tornOffset()),
                 reader.error().message().c_str());
  }
  if (bad > kBadRecordsShown) {
    std::fprintf(stderr, "pvtool log: %s: %llu more records that cannot be real skipped\n",
                 shown.c_str(), static_cast<unsigned long long>(bad - kBadRecordsShown));
  }
  if (reader.tornBytes() != 0) {
    std::fprintf(stderr,
                 "pvtool log: %s: byte %llu: %zu bytes after the last whole record (a record cut "
                 "short); skipped\n",
                 shown.c_str(), static_cast<unsigned long long>(reader.tornOffset()),
                 reader.tornBytes());
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "pvtool log: cannot write the output\n");
    return base::kExitFailed;
  }
  if (reader.error()) return base::kExitFailed;
  return bad != 0 || reader.tornBytes() != 0 ? base::kExitIncomplete : base::kExitOk;
}

}  // namespace parvolin::tools
