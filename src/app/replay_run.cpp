#include <cstdio>

#include "app/headless.h"
#include "app/startup.h"
#include "app/working_folder.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/capture_replay.h"
#include "engine/engine_view.h"

namespace parvolin::app {

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

  StartupOptions startup;
  startup.mode = StartupMode::Replay;
  startup.folderOverride = run.options.folder;
  StartupResult started = runStartup(startup, {nullptr, run.store, prompt, noShell, workingFolder});

  engine::NullEngineView view;
  const engine::ReplayOutcome outcome = engine::replayCapture(
      *run.options.replay, started.recordingFolder, started.settings, view, diagnostics, prompt);
  for (const std::string& message : outcome.messages) {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
  if (outcome.exitStatus == 0) {
    std::fprintf(run.out, "replayed %llu reads into %s\n",
                 static_cast<unsigned long long>(outcome.records),
                 started.recordingFolder.string().c_str());
  }
  return outcome.exitStatus;
}

}  // namespace parvolin::app
