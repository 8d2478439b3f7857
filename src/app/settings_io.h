#pragma once

#include <filesystem>

#include "app/settings_store.h"
#include "engine/recorder_settings.h"

namespace parvolin::app {

// Value names of the settings section.
inline constexpr const char* kParvolinPathName = "ParvolinPath";
inline constexpr const char* kLvLogHtmlNameName = "LvLogHtmlName";
inline constexpr const char* kLvUsernameName = "LvUsername";
inline constexpr const char* kLvPasswordName = "LvPassword";
inline constexpr const char* kLvSvrAllowedName = "bLvSvrAllowed";
inline constexpr const char* kAutoRefreshName = "bAutoRefresh";
inline constexpr const char* kParvolinSettingName = "ParvolinSetting";
inline constexpr const char* kItemLimitName = "UItemNoLimitSetting";
inline constexpr const char* kSpaceLimitName = "USpaceLimitSetting";
inline constexpr const char* kUnitNumberName = "USN";

// Name of the recording folder made under the working directory when none is stored.
inline constexpr const char* kDefaultFolderName = "ZEruFolder";

enum class DefaultWrites {
  WriteBack,  // a missing value is written to the store at once (every normal start)
  None,       // the store is only read (a replay)
};

enum class DefaultFolder {
  Create,     // a defaulted recording folder is created (failures ignored)
  LeaveAlone  // the run records elsewhere (--folder): the default is stored but not created
};

struct SettingsLoad {
  std::filesystem::path workingDirectory;  // the default folder is made under it
  DefaultWrites writes = DefaultWrites::WriteBack;
  DefaultFolder folder = DefaultFolder::Create;
};

// Reads the nine settings, gives every missing one its default (an empty string; -1 in
// "bLvSvrAllowed", "bAutoRefresh" or "ParvolinSetting"; 0 in a limit; or a value absent from the
// store), writing each default back at once in the order of the section, then reads all nine
// again; those are the values returned. With DefaultWrites::None nothing is written and the
// defaults are applied in memory only.
engine::RecorderSettings loadRecorderSettings(SettingsStore& store, const SettingsLoad& load);

// Writes all nine settings (the configuration dialog's save).
void saveRecorderSettings(SettingsStore& store, const engine::RecorderSettings& settings);

}  // namespace parvolin::app
