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
  for (const SettingSpec& entry : engine::kSettings) {
    if (entry.isText()) {
      engine::setSettingText(settings, entry, store.getStringOr(entry.name, ""));
    } else {
      const std::int32_t absent = reading == Reading::kFirst ? entry.missing : entry.rereadFallback;
      engine::setSettingNumber(settings, entry, store.getIntOr(entry.name, absent));
    }
  }
  return settings;
}

// Gives every missing value its default, in the order of the table; `write` stores each one as
// it is applied.
void applyDefaults(RecorderSettings& settings, const SettingsLoad& load, SettingsStore* write) {
  for (const SettingSpec& entry : engine::kSettings) {
    if (entry.isText()) {
      if (!engine::settingTextMissing(entry, engine::settingText(settings, entry))) continue;
      std::string value(entry.text);
      if (entry.kind == SettingSpec::Default::kUnderWorkingFolder) {
        const std::filesystem::path folder = load.workingDirectory / entry.text;
        value = folder.string();
        if (load.folder == DefaultFolder::Create) {
          std::error_code ignored;
          std::filesystem::create_directory(folder, ignored);
        }
      }
      engine::setSettingText(settings, entry, value);
      if (write) write->setString(entry.name, value);
    } else {
      if (engine::settingNumber(settings, entry) != entry.missing) continue;
      engine::setSettingNumber(settings, entry, entry.number);
      if (write) write->setInt(entry.name, entry.number);
    }
  }
}

void write(SettingsStore& store, const RecorderSettings& settings, const SettingSpec& entry) {
  if (entry.isText()) {
    store.setString(entry.name, engine::settingText(settings, entry));
  } else {
    store.setInt(entry.name, engine::settingNumber(settings, entry));
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
  for (const SettingSpec& entry : engine::kSettings) write(store, settings, entry);
}

}  // namespace parvolin::app
