#include "app/settings_io.h"

#include <system_error>

namespace parvolin::app {
namespace {

using engine::RecorderSettings;
using engine::SettingSpec;

enum class Reading { kFirst, kAgain };

// The nine values as they are stored, before any default applies. An absent number reads as
// its missing value, and on the second reading as its reread fallback.
RecorderSettings readAll(SettingsStore& store, Reading reading) {
  RecorderSettings settings;
  for (const SettingSpec& spec : engine::kSettings) {
    if (spec.isText()) {
      engine::setSettingText(settings, spec, store.getStringOr(spec.name, ""));
    } else {
      const std::int32_t absent = reading == Reading::kFirst ? spec.missing : spec.rereadFallback;
      engine::setSettingNumber(settings, spec, store.getIntOr(spec.name, absent));
    }
  }
  return settings;
}

// Gives every missing value its default, in the order of the table; `write` stores each one as
// it is applied.
void applyDefaults(RecorderSettings& settings, const SettingsLoad& load, SettingsStore* write) {
  for (const SettingSpec& spec : engine::kSettings) {
    if (spec.isText()) {
      if (!engine::settingTextMissing(spec, engine::settingText(settings, spec))) continue;
      std::string value(spec.text);
      if (spec.kind == SettingSpec::Default::kUnderWorkingFolder) {
        const std::filesystem::path folder = load.workingDirectory / spec.text;
        value = folder.string();
        if (load.folder == DefaultFolder::Create) {
          std::error_code ignored;
          std::filesystem::create_directory(folder, ignored);
        }
      }
      engine::setSettingText(settings, spec, value);
      if (write) write->setString(spec.name, value);
    } else {
      if (engine::settingNumber(settings, spec) != spec.missing) continue;
      engine::setSettingNumber(settings, spec, spec.number);
      if (write) write->setInt(spec.name, spec.number);
    }
  }
}

void write(SettingsStore& store, const RecorderSettings& settings, const SettingSpec& spec) {
  if (spec.isText()) {
    store.setString(spec.name, engine::settingText(settings, spec));
  } else {
    store.setInt(spec.name, engine::settingNumber(settings, spec));
  }
}

}  // namespace

RecorderSettings loadRecorderSettings(SettingsStore& store, const SettingsLoad& load) {
  RecorderSettings settings = readAll(store, Reading::kFirst);
  if (load.writes == DefaultWrites::None) {
    applyDefaults(settings, load, nullptr);
    return settings;
  }
  applyDefaults(settings, load, &store);
  return readAll(store, Reading::kAgain);
}

void saveSetting(SettingsStore& store, const RecorderSettings& settings, engine::Setting setting) {
  write(store, settings, engine::settingSpec(setting));
}

void saveRecorderSettings(SettingsStore& store, const RecorderSettings& settings) {
  for (const SettingSpec& spec : engine::kSettings) write(store, settings, spec);
}

}  // namespace parvolin::app
