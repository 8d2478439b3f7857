#include "app/startup.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "app/settings_io.h"

namespace parvolin::app {
namespace {

// Reads the first unit's number; -1 when no unit is attached. False when a unit is attached but
// its number cannot be read. The units are closed again either way: the main window opens them
// for the run.
bool readFirstUnitNumber(device::UnitLink& link, std::int32_t& number) {
  number = -1;
  if (!link.openAll()) {
    // openAll leaves the units it opened before a failing one open; they are closed here too,
    // or the main window's openAll could not open them again for the run.
    link.closeAll();
    return true;
  }
  const std::optional<std::uint32_t> read = link.readUnitNumber(0);
  link.closeAll();
  if (read) number = static_cast<std::int32_t>(*read);
  return read.has_value();
}

// Makes `folder` the current directory, creating it when it is missing; shows the message when
// it neither exists nor can be created, and carries on in the directory that stays current.
void enterRecordingFolder(const std::filesystem::path& folder, const std::string& shown,
                          const StartupServices& services) {
  WorkingFolder& wf = services.workingFolder;
  if (!wf.changeTo(folder) && !wf.create(folder)) services.prompt.message(folderMissingText(shown));
  wf.changeTo(folder);
}

}  // namespace

std::filesystem::path plannedRecordingFolder(const StartupOptions& options,
                                             settings::SettingsStore& store,
                                             const std::filesystem::path& workingDirectory) {
  std::filesystem::path folder;
  if (options.folderOverride) {
    folder = *options.folderOverride;
  } else {
    SettingsLoad load;
    load.workingDirectory = workingDirectory;
    load.writes = DefaultWrites::None;
    load.folder = DefaultFolder::LeaveAlone;
    folder = loadRecorderSettings(store, load).parvolinPath;
  }
  return folder.is_absolute() ? folder : workingDirectory / folder;
}

std::optional<std::string> folderProblem(const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(folder, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
    return std::string("it is not a folder");
  }
  if (!std::filesystem::exists(status)) {
    std::filesystem::create_directories(folder, error);
    if (error) return "it cannot be made: " + error.message();
  }
  if (::access(folder.c_str(), X_OK) != 0) {
    return "it cannot be entered: " + std::error_code(errno, std::generic_category()).message();
  }
  return std::nullopt;
}

std::string folderUnusableText(const std::filesystem::path& folder, std::string_view problem) {
  return "Cannot record into " + folder.string() + ": " + std::string(problem);
}

std::string folderMissingText(std::string_view folder) {
  return "Fail to locate the directory at: " + std::string(folder) +
         "\nPlease reconfigure the location of ZEruFolder folder!";
}

StartupResult runStartup(const StartupOptions& options, const StartupServices& services) {
  const bool replay = options.mode == StartupMode::Replay;
  StartupResult result;

  if (!replay) {
    if (services.link && !readFirstUnitNumber(*services.link, result.unitNumber)) {
      services.prompt.message(kUnitNumberUnreadableText);
      return result;
    }
    services.store.setInt(kUnitNumberName, result.unitNumber);
  }

  SettingsLoad load;
  load.workingDirectory = services.workingFolder.current();
  load.writes = replay ? DefaultWrites::None : DefaultWrites::WriteBack;
  load.folder = options.folderOverride ? DefaultFolder::LeaveAlone : DefaultFolder::Create;
  result.settingProblems = settingProblems(services.store);
  result.settings = loadRecorderSettings(services.store, load);

  const std::filesystem::path folder = options.folderOverride
                                           ? *options.folderOverride
                                           : std::filesystem::path(result.settings.parvolinPath);
  result.shownFolder = folder.string();
  // A relative folder is taken from the directory the program started in.
  const std::filesystem::path absolute =
      folder.is_absolute() ? folder : load.workingDirectory / folder;
  enterRecordingFolder(absolute, result.shownFolder, services);
  result.recordingFolder = services.workingFolder.current();

  if (!replay) {
    services.shell.registerFileTypes(options.programFolder);
    if (result.settings.bLvSvrAllowed != 0) {
      // The web server serves the folder this run records into, with this run's settings.
      std::vector<std::string> args{"--folder", result.recordingFolder.string()};
      if (options.configFile) {
        args.push_back("--config");
        args.push_back(std::filesystem::absolute(*options.configFile).string());
      }
      services.shell.startServer(options.programFolder / kServerProgram, args);
    }
  }
  result.ok = true;
  return result;
}

}  // namespace parvolin::app
