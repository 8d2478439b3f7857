#include "config/store_host.h"

#include "app/settings_io.h"

namespace parvolin::config {

StoreHost::StoreHost(app::SettingsStore& store, engine::RecorderSettings settings,
                     app::WorkingFolder& workingFolder, device::UnitLink* link)
    : store_(store), settings_(std::move(settings)), workingFolder_(workingFolder), link_(link) {}

void StoreHost::storeSetting(const engine::RecorderSettings& changed, engine::Setting setting) {
  settings_ = changed;
  app::saveSetting(store_, settings_, setting);
}

std::uint8_t StoreHost::audioMode(int unit) const {
  return unit >= 0 && unit < device::kMaxUnits ? audioModes_[std::size_t(unit)] : 3;
}

void StoreHost::setAudioMode(int unit, std::uint8_t mode) {
  if (unit >= 0 && unit < device::kMaxUnits) audioModes_[std::size_t(unit)] = mode;
}

}  // namespace parvolin::config
