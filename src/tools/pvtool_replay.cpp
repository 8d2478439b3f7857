// pvtool replay FILE --folder DIR --setting N [--html-name NAME]

#include <cstdio>
#include <optional>
#include <string>

#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"
#include "tools/number_options.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {
namespace {

constexpr int kUsageStatus = 2;

// The recording options are the six bits 0x01 to 0x20 of "ParvolinSetting".
constexpr std::int64_t kMaxSetting = 0x3F;

int usage() {
  std::fprintf(stderr,
               "usage: pvtool replay FILE.pvcap --folder DIR --setting N [--html-name NAME]\n");
  return kUsageStatus;
}

}  // namespace

int runReplay(const Args& args) {
  std::optional<std::string> file, folder, htmlName;
  std::optional<std::uint32_t> setting;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--folder" && hasValue) {
      folder = args[++i];
    } else if (a == "--setting" && hasValue) {
      std::string error;
      const auto value = parseWholeOption("--setting", args[++i], 0, kMaxSetting, error);
      if (!value) {
        std::fprintf(stderr, "pvtool replay: %s\n", error.c_str());
        return usage();
      }
      setting = std::uint32_t(*value);
    } else if (a == "--html-name" && hasValue) {
      htmlName = args[++i];
    } else if (!a.starts_with("-") && !file) {
      file = a;
    } else {
      return usage();
    }
  }
  if (!file || !folder || !setting) return usage();

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
