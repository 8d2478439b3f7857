#include "app/settings_io.h"

#include <system_error>

namespace parvolin::app {
namespace {

// Integer values that read as "missing" are stored as this marker or as 0 (the limits).
constexpr std::int32_t kMissingFlag = -1;
constexpr std::int32_t kMissingLimit = 0;

// The nine values as they are read from the store, before any default applies. `setting` is
// read with `settingFallback`: -1 on the first reading, so that an absent value counts as
// missing, and 0 on the second, as the run has always done.
struct RawSettings {
  std::string path, htmlName, username, password;
  std::int32_t lvSvrAllowed, autoRefresh, setting, itemLimit, spaceLimit;
};

RawSettings readRaw(SettingsStore& store, std::int32_t settingFallback) {
  RawSettings raw;
  raw.path = store.getStringOr(kParvolinPathName, "");
  raw.htmlName = store.getStringOr(kLvLogHtmlNameName, "");
  raw.username = store.getStringOr(kLvUsernameName, "");
  raw.password = store.getStringOr(kLvPasswordName, "");
  raw.lvSvrAllowed = store.getIntOr(kLvSvrAllowedName, kMissingFlag);
  raw.autoRefresh = store.getIntOr(kAutoRefreshName, kMissingFlag);
  raw.setting = store.getIntOr(kParvolinSettingName, settingFallback);
  raw.itemLimit = store.getIntOr(kItemLimitName, kMissingLimit);
  raw.spaceLimit = store.getIntOr(kSpaceLimitName, kMissingLimit);
  return raw;
}

engine::RecorderSettings toSettings(const RawSettings& raw) {
  engine::RecorderSettings s;
  s.parvolinPath = raw.path;
  s.lvLogHtmlName = raw.htmlName;
  s.lvUsername = raw.username;
  s.lvPassword = raw.password;
  s.bLvSvrAllowed = raw.lvSvrAllowed;
  s.bAutoRefresh = raw.autoRefresh;
  s.parvolinSetting = static_cast<std::uint32_t>(raw.setting);
  s.itemLimit = raw.itemLimit;
  s.spaceLimit = raw.spaceLimit;
  return s;
}

// Applies the defaults in the section's order; `write` stores each one as it is applied.
void applyDefaults(RawSettings& raw, const SettingsLoad& load, SettingsStore* write) {
  const engine::RecorderSettings defaults;
  if (raw.path.empty()) {
    const std::filesystem::path folder = load.workingDirectory / kDefaultFolderName;
    raw.path = folder.string();
    if (write) write->setString(kParvolinPathName, raw.path);
    if (load.folder == DefaultFolder::Create) {
      std::error_code ignored;
      std::filesystem::create_directory(folder, ignored);
    }
  }
  auto defaultString = [&](std::string& value, const char* name, const std::string& fallback) {
    if (!value.empty()) return;
    value = fallback;
    if (write) write->setString(name, value);
  };
  auto defaultInt = [&](std::int32_t& value, std::int32_t missing, const char* name,
                        std::int32_t fallback) {
    if (value != missing) return;
    value = fallback;
    if (write) write->setInt(name, value);
  };
  defaultString(raw.htmlName, kLvLogHtmlNameName, defaults.lvLogHtmlName);
  defaultString(raw.username, kLvUsernameName, defaults.lvUsername);
  defaultString(raw.password, kLvPasswordName, defaults.lvPassword);
  defaultInt(raw.lvSvrAllowed, kMissingFlag, kLvSvrAllowedName, defaults.bLvSvrAllowed);
  defaultInt(raw.autoRefresh, kMissingFlag, kAutoRefreshName, defaults.bAutoRefresh);
  defaultInt(raw.setting, kMissingFlag, kParvolinSettingName,
             static_cast<std::int32_t>(defaults.parvolinSetting));
  defaultInt(raw.itemLimit, kMissingLimit, kItemLimitName, defaults.itemLimit);
  defaultInt(raw.spaceLimit, kMissingLimit, kSpaceLimitName, defaults.spaceLimit);
}

}  // namespace

engine::RecorderSettings loadRecorderSettings(SettingsStore& store, const SettingsLoad& load) {
  RawSettings raw = readRaw(store, kMissingFlag);
  if (load.writes == DefaultWrites::None) {
    applyDefaults(raw, load, nullptr);
    return toSettings(raw);
  }
  applyDefaults(raw, load, &store);
  return toSettings(readRaw(store, 0));
}

void saveRecorderSettings(SettingsStore& store, const engine::RecorderSettings& s) {
  store.setString(kParvolinPathName, s.parvolinPath);
  store.setString(kLvLogHtmlNameName, s.lvLogHtmlName);
  store.setString(kLvUsernameName, s.lvUsername);
  store.setString(kLvPasswordName, s.lvPassword);
  store.setInt(kLvSvrAllowedName, s.bLvSvrAllowed);
  store.setInt(kAutoRefreshName, s.bAutoRefresh);
  store.setInt(kParvolinSettingName, static_cast<std::int32_t>(s.parvolinSetting));
  store.setInt(kItemLimitName, s.itemLimit);
  store.setInt(kSpaceLimitName, s.spaceLimit);
}

}  // namespace parvolin::app
