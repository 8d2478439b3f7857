#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/recorder_settings.h"
#include "settings/settings_store.h"

namespace parvolin::app {

// The value that records the first unit's number; not one of the settings: written on every
// start, never read by the recorder.
inline constexpr const char* kUnitNumberName = "USN";

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

// Reads the settings of engine::kSettings, gives every one that counts as missing (a list
// name that could not name a list of its own counts as missing too) its default, writing each
// default back at once in the order of the table, then reads them all again; those are the values
// returned. With DefaultWrites::None nothing is written and the defaults are applied in memory
// only.
engine::RecorderSettings loadRecorderSettings(settings::SettingsStore& store,
                                              const SettingsLoad& load);

// The stored numbers that are not numbers, or lie outside their setting's range, one line each
// ("bAutoRefresh=2 is out of range (0 to 1); 1 is used"): these count as missing, so that the
// value used is the setting's default. Reads the store only.
std::vector<std::string> settingProblems(settings::SettingsStore& store);

// Writes one setting as `settings` holds it (the configuration dialog writes those it changed).
void saveSetting(settings::SettingsStore& store, const engine::RecorderSettings& settings,
                 engine::Setting setting);
// Writes all the settings, in the order of the table.
void saveRecorderSettings(settings::SettingsStore& store, const engine::RecorderSettings& settings);

}  // namespace parvolin::app
