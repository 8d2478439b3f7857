#include "config/store_host.h"

#include "app/settings_io.h"
#include "base/folder_lock.h"

namespace parvolin::config {

StoreHost::StoreHost(settings::SettingsStore& store, engine::RecorderSettings settings,
                     app::WorkingFolder& workingFolder, device::UnitLink* link)
    : store_(store), settings_(std::move(settings)), workingFolder_(workingFolder), link_(link) {}

void StoreHost::storeSetting(const engine::RecorderSettings& changed, engine::Setting setting) {
  settings_ = changed;
  app::saveSetting(store_, settings_, setting);
}

app::FolderChange StoreHost::enterFolder(const std::filesystem::path& folder) {
  // Taken and dropped at once: pvtool only points the settings at the folder.
  const base::FolderClaim claim = base::claimFolder(workingFolder_.current() / folder, "pvtool");
  if (claim.refused()) return {app::FolderChange::Result::kHeld, claim.message};
  return {app::enterOrCreate(workingFolder_, folder) ? app::FolderChange::Result::kEntered
                                                     : app::FolderChange::Result::kNotLocated,
          {}};
}

std::uint8_t StoreHost::audioMode(int unit) const {
  return unit >= 0 && unit < device::kMaxUnits ? audioModes_[std::size_t(unit)] : 3;
}

void StoreHost::setAudioMode(int unit, std::uint8_t mode) {
  if (unit >= 0 && unit < device::kMaxUnits) audioModes_[std::size_t(unit)] = mode;
}

}  // namespace parvolin::config
