#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

#include "app/working_folder.h"
#include "base/clock.h"
#include "device/d2xx.h"
#include "settings/settings_store.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {

// Opens the recorder's settings store, or the INI file given with --config.
using SettingsStoreOpener = std::function<std::unique_ptr<settings::SettingsStore>(
    const std::optional<std::filesystem::path>& configFile)>;

struct SettingsCommandServices {
  SettingsStoreOpener openStore;
  app::WorkingFolder& workingFolder;  // a changed folder is created through it
  std::ostream& out;                  // the settings and the configuration's messages
  std::ostream& err;                  // usage and errors
};

// pvtool settings with its store and streams given. Exit status: 0 done (every change taken),
// 1 a change was refused or failed (the message said which), 2 usage error.
[[nodiscard]] int runSettingsWith(const Args& args, const SettingsCommandServices& services);

// pvtool unit-settings (runUnitSettings): exit status 0 done, 1 the unit could not be reached
// or a register failed (the message said which), 2 usage error. runUnitSettingsOn is the same on
// units reached through `d2xx`, for unit 0-3 and the NAME=VALUE changes (checked already).
[[nodiscard]] int runUnitSettingsOn(device::D2xx& d2xx, base::Clock& clock, int unit,
                                    const Args& changes, std::ostream& out, std::ostream& err);

}  // namespace parvolin::tools
