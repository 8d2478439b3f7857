// pvtool replay FILE --folder DIR --setting N [--html-name NAME]

#include <optional>
#include <ostream>
#include <string>

#include "app/headless.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"
#include "engine/output_files.h"
#include "engine/recorder_settings.h"
#include "tools/command_line.h"
#include "tools/number_options.h"
#include "tools/pvtool_commands.h"
#include "tools/terminal_prompt.h"

namespace parvolin::tools {

constinit const std::string_view kReplayHelp =
    "usage: pvtool replay FILE.pvcap --folder DIR --setting N [--html-name NAME] [--force]\n"
    "Replays a stream capture (parvolin --capture, pvtool sim) into a recording folder as the\n"
    "recorder would have recorded it: the audio files, the call log and the HTML list.\n"
    "  --folder DIR      the recording folder (created when missing)\n"
    "  --setting N       the recording options, the recorder's ParvolinSetting: the sum of\n"
    "                    1 (volume adjustment L1), 2 (L2), 4 (keep the HTML list), 8 (keep calls\n"
    "                    shorter than 8 s), 16 (record WAV files), 32 (record LV files);\n"
    "                    0-63, decimal or 0x hex; 44 is the recorder's default\n"
    "  --html-name NAME  the HTML list's file name (default ZEruTestNew.htm): a plain file name,\n"
    "                    neither the call log's nor a recording's\n"
    "  --force           replay into a folder that already holds calls (a call log or\n"
    "                    recordings), adding the replayed calls to them\n"
    "Exit status 0 after a complete replay, 1 when the capture or the folder cannot be used (or\n"
    "another program holds the folder), 2 for a bad command line or a file that is no stream\n"
    "capture, or a folder that holds calls already (without --force), 4 when not everything\n"
    "replayed could be written (standard error names it).\n";

namespace {

// The recording options are the six bits 0x01 to 0x20 of "ParvolinSetting".
constexpr std::int64_t kMaxSetting = 0x3F;

struct ReplayOptions {
  std::string file, folder;
  std::uint32_t setting = 0;
  std::optional<std::string> htmlName;
  bool force = false;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<ReplayOptions> parseOptions(const Args& args, std::string& problem) {
  ReplayOptions options;
  std::optional<std::string> file, folder;
  std::optional<std::uint32_t> setting;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--folder" && hasValue) {
      folder = args[++i];
    } else if (a == "--setting" && hasValue) {
      const auto value = parseWholeOption("--setting", args[++i], 0, kMaxSetting, problem);
      if (!value) return std::nullopt;
      setting = std::uint32_t(*value);
    } else if (a == "--html-name" && hasValue) {
      options.htmlName = args[++i];
    } else if (a == "--force") {
      options.force = true;
    } else if (a == "--folder" || a == "--setting" || a == "--html-name") {
      problem = a + " needs a value";
    } else if (!a.starts_with("-") && !file) {
      file = a;
    } else if (!a.starts_with("-")) {
      problem = "one capture at a time ('" + base::printable(a) + "' is a second one)";
    } else {
      problem = "unknown option '" + base::printable(a) + "'";
    }
    if (!problem.empty()) return std::nullopt;
  }
  if (!file) {
    problem = "no capture named";
  } else if (!folder) {
    problem = "--folder DIR is needed";
  } else if (!setting) {
    problem = "--setting N is needed";
  } else if (options.htmlName && !engine::isUsableListName(*options.htmlName)) {
    problem = "--html-name '" + base::printable(*options.htmlName) +
              "' cannot name the list: a plain file name in the folder, neither the call log's "
              "nor a recording's";
  }
  if (!problem.empty()) return std::nullopt;
  options.file = *file;
  options.folder = *folder;
  options.setting = *setting;
  return options;
}

}  // namespace

int runReplay(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<ReplayOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "replay", kReplayHelp, problem);
  if (!options->force && engine::folderHoldsCalls(options->folder)) {
    err << "pvtool replay: " << base::printable(options->folder)
        << " holds calls already (a call log or recordings); replaying would add these calls a "
           "second time. Use an empty folder, or --force\n";
    return base::kExitUsage;
  }

  engine::RecorderSettings settings;
  settings.parvolinPath = options->folder;
  settings.parvolinSetting = options->setting;
  if (options->htmlName) settings.lvLogHtmlName = *options->htmlName;
  engine::NullEngineView view;
  StreamDiagnostics diagnostics(err);
  StreamPrompt prompt(err);
  const engine::ReplayOutcome outcome =
      engine::replayCapture(options->file, options->folder, settings, view, diagnostics, prompt);
  for (const std::string& message : outcome.messages) err << message << '\n';
  if (outcome.result == engine::ReplayResult::kReplayed) {
    out << "replayed " << outcome.records << " reads into " << options->folder << '\n';
  }
  return app::replayExitStatus(outcome.result);
}

}  // namespace parvolin::tools
