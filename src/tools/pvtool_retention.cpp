// pvtool retention: one retention pass on the recording folder, by the running recorder when one
// records there, or on the folder itself under its lock.

#include "tools/pvtool_retention.h"

#include <chrono>
#include <ctime>
#include <iostream>
#include <optional>

#include "app/config_file.h"
#include "app/settings_io.h"
#include "app/working_folder.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "control/protocol.h"
#include "engine/engine.h"
#include "engine/retention.h"
#include "tools/command_line.h"
#include "tools/folder_access.h"

namespace parvolin::tools {

constinit const std::string_view kRetentionHelp =
    "usage: pvtool retention [--dry-run] [--folder DIR] [--config FILE]\n"
    "Runs one retention pass as the recorder does by itself when retention is on (pvtool\n"
    "settings retention-days, retention-at-limits, keep-free-mb): the oldest calls that the\n"
    "settings let go are taken out of the HTML list and their recordings deleted; the call log\n"
    "keeps its records. A call whose text was edited, or that is still going on, is kept.\n"
    "Prints each call deleted (with --dry-run: each that would be, deleting nothing), then a\n"
    "summary. DIR is the recording folder (default: the settings' one). While a recorder\n"
    "records there the pass is its own, asked for through its control socket; otherwise it\n"
    "runs here, under the folder's lock.\n";

namespace {

namespace fs = std::filesystem;

// How long pvtool waits for the recorder's tick to apply the pass.
constexpr std::chrono::seconds kRecorderWait{30};

struct RetentionOptions {
  bool dryRun = false;
  bool help = false;
  std::optional<fs::path> folder;
  std::optional<fs::path> config;
};

// The options, or nothing with `problem` set.
std::optional<RetentionOptions> parseOptions(const Args& args, std::string& problem) {
  RetentionOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      options.help = true;
    } else if (a == "--dry-run") {
      options.dryRun = true;
    } else if ((a == "--folder" || a == "--config") && i + 1 < args.size()) {
      (a == "--folder" ? options.folder : options.config) = fs::path(args[++i]);
    } else {
      problem = "unexpected '" + base::printable(a) + "'";
      return std::nullopt;
    }
  }
  return options;
}

void printReport(const engine::RetentionReport& report, std::ostream& out) {
  for (const std::string& file : report.recordings) {
    out << (report.dryRun ? "would delete " : "deleted ") << base::printable(file) << '\n';
  }
  out << base::printable(report.summary()) << '\n';
}

int throughRecorder(control::ControlClient& recorder, bool dryRun, std::ostream& out,
                    std::ostream& err) {
  const nlohmann::json id = "retention";
  if (!recorder.send({{"v", control::kProtocolVersion},
                      {"id", id},
                      {"cmd", "retention"},
                      {"dry-run", dryRun}})) {
    err << "pvtool retention: the recorder's control socket: " << recorder.error() << '\n';
    return base::kExitFailed;
  }
  const auto answer = recorder.answerTo(id, kRecorderWait);
  if (!answer) {
    err << "pvtool retention: "
        << (recorder.timedOut() ? "no answer from the recorder in time"
                                : "the recorder closed the connection")
        << '\n';
    return base::kExitFailed;
  }
  const auto report = control::retentionReportFrom(*answer);
  if (!report) {
    err << "pvtool retention: the recorder refused the pass: " << base::printable(answer->dump())
        << '\n';
    return base::kExitFailed;
  }
  printReport(*report, out);
  return report->error.empty() ? base::kExitOk : base::kExitFailed;
}

}  // namespace

int runRetentionWith(const Args& args, const SettingsStoreOpener& openStore, std::ostream& out,
                     std::ostream& err) {
  std::string problem;
  const std::optional<RetentionOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "retention", kRetentionHelp, problem);
  if (options->help) {
    out << kRetentionHelp;
    return base::kExitOk;
  }
  if (options->config) {
    if (const auto configProblem =
            app::configFileProblem(*options->config, app::ConfigUse::kRead)) {
      err << "pvtool retention: --config: " << base::printable(*configProblem) << '\n';
      return base::kExitUsage;
    }
  }
  std::unique_ptr<settings::SettingsStore> store = openStore(options->config);
  app::ProcessWorkingFolder workingFolder;
  app::SettingsLoad load;
  load.workingDirectory = workingFolder.current();
  load.writes = app::DefaultWrites::None;
  load.folder = app::DefaultFolder::LeaveAlone;
  const engine::RecorderSettings settings = app::loadRecorderSettings(*store, load);
  const fs::path folder = options->folder.value_or(fs::path(settings.parvolinPath));
  if (folder.empty()) {
    err << "pvtool retention: the settings name no recording folder: give --folder\n";
    return base::kExitUsage;
  }

  FolderAccess access = accessFolder(folder, "retention", err);
  if (!access.usable) return base::kExitFailed;
  if (access.recorder) return throughRecorder(*access.recorder, options->dryRun, out, err);
  const engine::RetentionReport report = engine::retentionPassOnFolder(
      folder, folder / settings.lvLogHtmlName, engine::retentionRuleOf(settings),
      std::int64_t(std::time(nullptr)), options->dryRun);
  printReport(report, out);
  return report.error.empty() ? base::kExitOk : base::kExitFailed;
}

int runRetention(const Args& args, const ToolContext& context, std::ostream& out,
                 std::ostream& err) {
  if (!context.openSettings) {
    err << "pvtool retention: this pvtool was built without the recorder's settings store\n";
    return base::kExitFailed;
  }
  return runRetentionWith(args, context.openSettings, out, err);
}

}  // namespace parvolin::tools
