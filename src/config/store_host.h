#pragma once

#include <array>

#include "app/working_folder.h"
#include "config/configure_host.h"
#include "settings/settings_store.h"

namespace parvolin::config {

// The configuration pages without a running recorder (pvtool): settings go to the store, the
// folder is created, and the units are those of a link opened for the purpose, if any. The
// AudioMode values are 3 until set (as for units never read).
class StoreHost final : public ConfigureHost {
 public:
  // `store`, `workingFolder` and `link` (which may be null) outlive the host.
  StoreHost(settings::SettingsStore& store, engine::RecorderSettings settings,
            app::WorkingFolder& workingFolder, device::UnitLink* link = nullptr);

  const engine::RecorderSettings& settings() const override { return settings_; }
  void storeSetting(const engine::RecorderSettings& changed, engine::Setting setting) override;
  std::filesystem::path currentFolder() override { return workingFolder_.current(); }
  // A folder that a running recorder (or another pvtool) holds is left alone.
  app::FolderChange enterFolder(const std::filesystem::path& folder) override;
  device::UnitLink* link() override { return link_; }
  std::uint8_t audioMode(int unit) const override;
  void setAudioMode(int unit, std::uint8_t mode) override;

 private:
  settings::SettingsStore& store_;
  engine::RecorderSettings settings_;
  app::WorkingFolder& workingFolder_;
  device::UnitLink* link_;
  std::array<std::uint8_t, device::kMaxUnits> audioModes_{3, 3, 3, 3};
};

}  // namespace parvolin::config
