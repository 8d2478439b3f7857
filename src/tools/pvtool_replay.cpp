// pvtool replay FILE --folder DIR --setting N [--html-name NAME]

#include <cstdio>
#include <optional>
#include <string>

#include "base/diagnostics.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "base/prompt.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"
#include "engine/output_files.h"
#include "engine/recorder_settings.h"
#include "tools/number_options.h"
#include "tools/pvtool_commands.h"

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

int usage(const std::string& problem) {
  std::fprintf(stderr, "pvtool replay: %s\n%s", problem.c_str(), kReplayHelp.data());
  return base::kExitUsage;
}

}  // namespace

int runReplay(const Args& args) {
  std::optional<std::string> file, folder, htmlName;
  std::optional<std::uint32_t> setting;
  bool force = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--folder" && hasValue) {
      folder = args[++i];
    } else if (a == "--setting" && hasValue) {
      std::string error;
      const auto value = parseWholeOption("--setting", args[++i], 0, kMaxSetting, error);
      if (!value) return usage(error);
      setting = std::uint32_t(*value);
    } else if (a == "--html-name" && hasValue) {
      htmlName = args[++i];
    } else if (a == "--force") {
      force = true;
    } else if (a == "--folder" || a == "--setting" || a == "--html-name") {
      return usage(a + " needs a value");
    } else if (!a.starts_with("-") && !file) {
      file = a;
    } else if (!a.starts_with("-")) {
      return usage("one capture at a time ('" + base::printable(a) + "' is a second one)");
    } else {
      return usage("unknown option '" + base::printable(a) + "'");
    }
  }
  if (!file) return usage("no capture named");
  if (!folder) return usage("--folder DIR is needed");
  if (!setting) return usage("--setting N is needed");
  if (htmlName && !engine::isUsableListName(*htmlName)) {
    return usage("--html-name '" + base::printable(*htmlName) +
                 "' cannot name the list: a plain file name in the folder, neither the call "
                 "log's nor a recording's");
  }
  if (!force && engine::folderHoldsCalls(*folder)) {
    std::fprintf(stderr,
                 "pvtool replay: %s holds calls already (a call log or recordings); replaying "
                 "would add these calls a second time. Use an empty folder, or --force\n",
                 base::printable(*folder).c_str());
    return base::kExitUsage;
  }

  engine::RecorderSettings settings;
  settings.parvolinPath = *folder;
  settings.parvolinSetting = *setting;
  if (htmlName) settings.lvLogHtmlName = *htmlName;
  engine::NullEngineView view;
  base::StderrDiagnostics diagnostics;
  base::StderrPrompt prompt;
  const engine::ReplayOutcome outcome =
      engine::replayCapture(*file, *folder, settings, view, diagnostics, prompt);
  for (const std::string& message : outcome.messages) std::fprintf(stderr, "%s\n", message.c_str());
  if (outcome.exitStatus == 0) {
    std::printf("replayed %llu reads into %s\n", static_cast<unsigned long long>(outcome.records),
                folder->c_str());
  }
  return outcome.exitStatus;
}

}  // namespace parvolin::tools
