#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell.h"
#include "app/working_folder.h"
#include "base/prompt.h"
#include "device/unit_link.h"
#include "engine/recorder_settings.h"
#include "settings/settings_store.h"

namespace parvolin::app {

inline constexpr std::string_view kUnitNumberUnreadableText =
    "Failed to read from Parvolin, quit and try again!";
// "Fail to locate the directory at: " + folder + "\nPlease reconfigure ..."
std::string folderMissingText(std::string_view folder);

// The remote-access server, lvsvr, in the program folder.
inline constexpr const char* kServerProgram = "lvsvr";

enum class StartupMode {
  Recorder,  // a normal run: units, store writes, file types, the server
  Replay,    // a capture replay: the store is only read; no unit, no file type, no program
};

struct StartupOptions {
  StartupMode mode = StartupMode::Recorder;
  // --folder: records into this folder for one run (created when missing); the stored folder
  // is then neither used nor created.
  std::optional<std::filesystem::path> folderOverride;
  std::filesystem::path programFolder;  // where lvplayer and LvSvr are installed
  // --config: the settings file, handed on to the remote-access server.
  std::optional<std::filesystem::path> configFile;
};

struct StartupServices {
  device::UnitLink* link;  // not used, and may be null, in a replay
  settings::SettingsStore& store;
  base::Prompt& prompt;
  Shell& shell;
  WorkingFolder& workingFolder;
};

struct StartupResult {
  bool ok = false;  // false: the first unit's number was unreadable; the program ends
  std::int32_t unitNumber = -1;
  engine::RecorderSettings settings;
  // The folder the run records into, absolute: the recording folder once it is the current
  // directory, or the current directory that stayed in effect when it could not be made so.
  std::filesystem::path recordingFolder;
  // The folder as the location line shows it: the stored path, or the --folder argument.
  std::string shownFolder;
  // Stored numbers that were not numbers or out of range, with the default used instead (see
  // settingProblems), for the user to be told once.
  std::vector<std::string> settingProblems;
};

// The folder a run records into before start-up has entered it: the --folder of `options`, or
// the stored "ParvolinPath" (the working directory's "ZEruFolder" when none is stored), taken
// from `workingDirectory` when relative. Reads the store and writes nothing.
std::filesystem::path plannedRecordingFolder(const StartupOptions& options,
                                             settings::SettingsStore& store,
                                             const std::filesystem::path& workingDirectory);

// Why a folder named on the command line (--folder) cannot be recorded into: it names something
// that is not a folder, or it cannot be made or entered. A missing folder is made. Nothing when
// it can be used.
[[nodiscard]] std::optional<std::string> folderProblem(const std::filesystem::path& folder);
// "Cannot record into FOLDER: PROBLEM"
std::string folderUnusableText(const std::filesystem::path& folder, std::string_view problem);

// The start-up sequence before the main window opens: the first unit's number into "USN", the
// settings with their defaults, the recording folder made the current directory, the file
// types registered and, when allowed, the remote-access server started. Messages go through
// `services.prompt`; failures other than the unit number's are shown or ignored and start-up
// goes on.
StartupResult runStartup(const StartupOptions& options, const StartupServices& services);

}  // namespace parvolin::app
