#include "engine/recorder_settings.h"

#include "codec/lv_format.h"

namespace parvolin::engine {
namespace {

constexpr bool tableInOrder() {
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    if (static_cast<std::size_t>(kSettings[i].id) != i) return false;
  }
  return true;
}
static_assert(tableInOrder(), "kSettings is indexed by Setting");

}  // namespace

RecorderSettings::RecorderSettings() {
  for (const SettingSpec& spec : kSettings) {
    if (spec.kind == SettingSpec::Default::kUnderWorkingFolder) continue;
    if (spec.isText()) {
      setSettingText(*this, spec, std::string(spec.text));
    } else {
      setSettingNumber(*this, spec, spec.number);
    }
  }
}

const std::string& settingText(const RecorderSettings& settings, const SettingSpec& spec) {
  return settings.*std::get<std::string RecorderSettings::*>(spec.field);
}

std::int32_t settingNumber(const RecorderSettings& settings, const SettingSpec& spec) {
  if (const auto* bits = std::get_if<std::uint32_t RecorderSettings::*>(&spec.field)) {
    return static_cast<std::int32_t>(settings.**bits);
  }
  return settings.*std::get<std::int32_t RecorderSettings::*>(spec.field);
}

void setSettingText(RecorderSettings& settings, const SettingSpec& spec, std::string value) {
  settings.*std::get<std::string RecorderSettings::*>(spec.field) = std::move(value);
}

void setSettingNumber(RecorderSettings& settings, const SettingSpec& spec, std::int32_t value) {
  if (const auto* bits = std::get_if<std::uint32_t RecorderSettings::*>(&spec.field)) {
    settings.** bits = static_cast<std::uint32_t>(value);
    return;
  }
  settings.*std::get<std::int32_t RecorderSettings::*>(spec.field) = value;
}

void applyUnitSetUp(RecorderSettings& settings, std::uint8_t audioMode) {
  if (audioMode != codec::kModeLog8) settings.parvolinSetting &= ~kWavFormat;
  settings.parvolinSetting |= kHtmlListOn;
}

}  // namespace parvolin::engine
