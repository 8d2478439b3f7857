#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "settings/settings_store.h"

namespace parvolin::settings {

// The recorder's settings store: organisation "ParvolinUsb", application "Parvolin", section
// "Parvolin" (the registry on Windows, ~/.config/ParvolinUsb/Parvolin.conf on Linux). With
// `configFile` the settings are read from and written to that INI file instead.
// Implemented with QtCore.
std::unique_ptr<SettingsStore> makeQSettingsStore(
    const std::optional<std::filesystem::path>& configFile);

}  // namespace parvolin::settings
