#include "app/settings_io.h"

#include <limits>
#include <optional>
#include <system_error>

namespace parvolin::app {
namespace {

using engine::RecorderSettings;
using engine::SettingSpec;

enum class Reading { kFirst, kAgain };

struct NumberRange {
  std::int32_t low, high;
};

// The values a stored number may hold; a value outside them is taken as missing.
NumberRange rangeOf(engine::Setting id) {
  constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
  switch (id) {
    case engine::Setting::kLvSvrAllowed:
    case engine::Setting::kAutoRefresh:
      return {0, 1};
    case engine::Setting::kParvolinSetting:
      return {0, 0x3F};  // the six option bits
    case engine::Setting::kItemLimit:
    case engine::Setting::kSpaceLimit:
      return {1, kMost};
    case engine::Setting::kRetentionAtLimits:
      return {0, 1};
    case engine::Setting::kRetentionDays:
    case engine::Setting::kKeepFreeMb:
      return {0, kMost};
    default:
      return {std::numeric_limits<std::int32_t>::min(), kMost};
  }
}

// A stored number as it is taken: its value, or nothing when it is missing, not a number, or
// out of range. `problem` says which of the last two it was.
std::optional<std::int32_t> storedNumber(settings::SettingsStore& store, const SettingSpec& entry,
                                         std::string* problem) {
  const std::optional<std::int32_t> value = store.getInt(entry.name);
  if (!value) {
    const std::optional<std::string> text = store.getString(entry.name);
    if (text && !text->empty() && problem) {
      *problem = std::string(entry.name) + "=" + *text + " is not a number; " +
                 std::to_string(entry.number) + " is used";
    }
    return std::nullopt;
  }
  if (*value == entry.missing) return std::nullopt;
  const NumberRange range = rangeOf(entry.id);
  if (*value < range.low || *value > range.high) {
    if (problem) {
      *problem =
          std::string(entry.name) + "=" + std::to_string(*value) + " is out of range (" +
          std::to_string(range.low) + " to " +
          (range.high == std::numeric_limits<std::int32_t>::max() ? std::string("any higher")
                                                                  : std::to_string(range.high)) +
          "); " + std::to_string(entry.number) + " is used";
    }
    return std::nullopt;
  }
  return value;
}

// The values as they are stored, before any default applies. An absent number reads as
// its missing value, and on the second reading as its reread fallback.
RecorderSettings readAll(settings::SettingsStore& store, Reading reading) {
  RecorderSettings settings;
  for (const SettingSpec& entry : engine::kSettings) {
    if (entry.isText()) {
      engine::setSettingText(settings, entry, store.getStringOr(entry.name, ""));
    } else {
      const std::int32_t absent = reading == Reading::kFirst ? entry.missing : entry.rereadFallback;
      engine::setSettingNumber(settings, entry,
                               storedNumber(store, entry, nullptr).value_or(absent));
    }
  }
  return settings;
}

// Gives every missing value its default, in the order of the table; `write` stores each one as
// it is applied.
void applyDefaults(RecorderSettings& settings, const SettingsLoad& load,
                   settings::SettingsStore* write) {
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

void write(settings::SettingsStore& store, const RecorderSettings& settings,
           const SettingSpec& entry) {
  if (entry.isText()) {
    store.setString(entry.name, engine::settingText(settings, entry));
  } else {
    store.setInt(entry.name, engine::settingNumber(settings, entry));
  }
}

}  // namespace

std::vector<std::string> settingProblems(settings::SettingsStore& store) {
  std::vector<std::string> problems;
  for (const SettingSpec& entry : engine::kSettings) {
    if (entry.isText()) continue;
    std::string problem;
    storedNumber(store, entry, &problem);
    if (!problem.empty()) problems.push_back(std::move(problem));
  }
  return problems;
}

RecorderSettings loadRecorderSettings(settings::SettingsStore& store, const SettingsLoad& load) {
  RecorderSettings settings = readAll(store, Reading::kFirst);
  if (load.writes == DefaultWrites::None) {
    applyDefaults(settings, load, nullptr);
    return settings;
  }
  applyDefaults(settings, load, &store);
  return readAll(store, Reading::kAgain);
}

void saveSetting(settings::SettingsStore& store, const RecorderSettings& settings,
                 engine::Setting setting) {
  write(store, settings, engine::settingSpec(setting));
}

void saveRecorderSettings(settings::SettingsStore& store, const RecorderSettings& settings) {
  for (const SettingSpec& entry : engine::kSettings) write(store, settings, entry);
}

}  // namespace parvolin::app
