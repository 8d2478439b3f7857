#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/headless.h"
#include "app/startup.h"
#include "app/working_folder.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"

namespace parvolin::app {

int replayExitStatus(engine::ReplayResult result) {
  switch (result) {
    case engine::ReplayResult::kReplayed:
      return base::kExitOk;
    case engine::ReplayResult::kUnwritten:
      return base::kExitIncomplete;
    case engine::ReplayResult::kUnusable:
      return base::kExitFailed;
    case engine::ReplayResult::kRefused:
      return base::kExitUsage;
  }
  return base::kExitFailed;
}

int runReplay(const HeadlessRun& run) {
  // A capture that breaks the format is refused before anything, the folder included, is made.
  const engine::CaptureCheck check = engine::checkCapture(*run.options.replay);
  if (check.fault) {
    std::fprintf(stderr, "%s\n",
                 engine::describeCaptureFault(*run.options.replay, *check.fault).c_str());
    return kExitUsage;
  }

  base::StderrPrompt prompt;
  base::StderrDiagnostics diagnostics;
  RecordingShell noShell;  // a replay registers nothing and starts nothing
  ProcessWorkingFolder workingFolder;
  if (const auto problem = folderProblem(*run.options.folder)) {
    std::fprintf(stderr, "parvolin: %s\n",
                 folderUnusableText(*run.options.folder, *problem).c_str());
    return kExitFolderUnusable;
  }

  StartupOptions startup;
  startup.mode = StartupMode::Replay;
  startup.folderOverride = run.options.folder;
  const std::filesystem::path startDirectory = workingFolder.current();
  StartupResult started = runStartup(startup, {nullptr, run.store, prompt, noShell, workingFolder});
  // Start-up carries on in the directory it started in when the folder cannot be made; a replay
  // records into the folder it was given or nowhere.
  const std::filesystem::path wanted = startDirectory / *run.options.folder;
  std::error_code error;
  if (!std::filesystem::equivalent(started.recordingFolder, wanted, error)) {
    std::fprintf(stderr, "parvolin: cannot record into %s\n", wanted.string().c_str());
    return kExitFolderUnusable;
  }

  engine::NullEngineView view;
  const engine::ReplayOutcome outcome = engine::replayCapture(
      *run.options.replay, started.recordingFolder, started.settings, view, diagnostics, prompt);
  for (const std::string& message : outcome.messages) {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
  if (outcome.replayed()) {
    std::fprintf(run.out, "replayed %llu reads into %s\n",
                 static_cast<unsigned long long>(outcome.records),
                 started.recordingFolder.string().c_str());
  }
  return replayExitStatus(outcome.result);
}

}  // namespace parvolin::app
