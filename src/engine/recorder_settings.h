#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace parvolin::engine {

// Bits of ParvolinSetting.
inline constexpr std::uint32_t kDavaLevel1 = 0x01;
inline constexpr std::uint32_t kDavaLevel2 = 0x02;
inline constexpr std::uint32_t kHtmlListOn = 0x04;
inline constexpr std::uint32_t kKeepShortCalls = 0x08;
inline constexpr std::uint32_t kWavFormat = 0x10;
inline constexpr std::uint32_t kLvFormat = 0x20;

// The recorder's settings for one run, loaded at start-up and edited by the configuration
// dialog. A default-constructed record holds the defaults of kSettings below (the folder path
// is empty: its default is made at start-up).
struct RecorderSettings {
  RecorderSettings();

  std::string parvolinPath;  // the recording folder
  std::string lvLogHtmlName;
  std::string lvUsername;
  std::string lvPassword;
  std::int32_t bLvSvrAllowed;
  std::int32_t bAutoRefresh;
  std::uint32_t parvolinSetting;
  std::int32_t itemLimit;
  std::int32_t spaceLimit;  // megabytes
  // Retention (off by default): calls kept this many days (0: for ever); the oldest deleted when
  // a capacity limit is passed (1) or not (0); at least this many megabytes kept free on the
  // recording folder's disk (0: no margin).
  std::int32_t retentionDays;
  std::int32_t retentionAtLimits;
  std::int32_t keepFreeMb;

  bool has(std::uint32_t bit) const { return (parvolinSetting & bit) != 0; }
  // 1 or 2, or 0 for no volume adjustment: level 1 wins when both bits are set.
  int davaLevel() const { return has(kDavaLevel1) ? 1 : has(kDavaLevel2) ? 2 : 0; }
};

// The settings, in the order of the settings section.
enum class Setting {
  kParvolinPath,
  kLvLogHtmlName,
  kLvUsername,
  kLvPassword,
  kLvSvrAllowed,
  kAutoRefresh,
  kParvolinSetting,
  kItemLimit,
  kSpaceLimit,
  kRetentionDays,
  kRetentionAtLimits,
  kKeepFreeMb,
};
inline constexpr std::size_t kSettingCount = 12;

// Whether `name` can name the HTML list in the recording folder: a plain file name (no folder
// separator, no control character, not "." or "..") that is neither the call log's name nor that
// of a recording (ending in ".WAV", or ".LV" and one or two hex digits, in any case), since the
// list would then be written over the log, or counted, converted and deleted as audio.
bool isUsableListName(std::string_view name);

// One setting of the settings section: its value name, its field, its default and what counts
// as missing. A text counts as missing when it is empty or `usable` refuses it; a number when it
// is absent or holds `missing`.
struct SettingSpec {
  using Field = std::variant<std::string RecorderSettings::*, std::int32_t RecorderSettings::*,
                             std::uint32_t RecorderSettings::*>;
  enum class Default {
    kValue,              // the default below
    kUnderWorkingFolder  // the working directory at start-up + `text` (a folder, created)
  };

  Setting id;
  std::string_view name;
  Field field;
  Default kind = Default::kValue;
  std::string_view text;     // a text's default, or the folder name of kUnderWorkingFolder
  std::int32_t number = 0;   // a number's default
  std::int32_t missing = 0;  // the number that counts as missing
  // The fallback for an absent number when the settings are read the second time at start-up,
  // after the defaults were written back.
  std::int32_t rereadFallback = 0;
  bool (*usable)(std::string_view text) = nullptr;  // a text's further rule

  bool isText() const { return std::holds_alternative<std::string RecorderSettings::*>(field); }
};

inline constexpr std::array<SettingSpec, kSettingCount> kSettings = {{
    {Setting::kParvolinPath, "ParvolinPath", &RecorderSettings::parvolinPath,
     SettingSpec::Default::kUnderWorkingFolder, "ZEruFolder"},
    {Setting::kLvLogHtmlName, "LvLogHtmlName", &RecorderSettings::lvLogHtmlName,
     SettingSpec::Default::kValue, "ZEruTestNew.htm", 0, 0, 0, isUsableListName},
    {Setting::kLvUsername, "LvUsername", &RecorderSettings::lvUsername,
     SettingSpec::Default::kValue, "ZORUZIVA"},
    {Setting::kLvPassword, "LvPassword", &RecorderSettings::lvPassword,
     SettingSpec::Default::kValue, "ZORUZIVA"},
    {Setting::kLvSvrAllowed,
     "bLvSvrAllowed",
     &RecorderSettings::bLvSvrAllowed,
     SettingSpec::Default::kValue,
     {},
     0,
     -1,
     -1},
    {Setting::kAutoRefresh,
     "bAutoRefresh",
     &RecorderSettings::bAutoRefresh,
     SettingSpec::Default::kValue,
     {},
     1,
     -1,
     -1},
    // 44: LvFormat, KeepShortCalls, HtmlListOn. Read a second time with 0 for absent, as the
    // start-up has always done.
    {Setting::kParvolinSetting,
     "ParvolinSetting",
     &RecorderSettings::parvolinSetting,
     SettingSpec::Default::kValue,
     {},
     kLvFormat | kKeepShortCalls | kHtmlListOn,
     -1,
     0},
    {Setting::kItemLimit,
     "UItemNoLimitSetting",
     &RecorderSettings::itemLimit,
     SettingSpec::Default::kValue,
     {},
     2000,
     0,
     0},
    {Setting::kSpaceLimit,
     "USpaceLimitSetting",
     &RecorderSettings::spaceLimit,
     SettingSpec::Default::kValue,
     {},
     500,
     0,
     0},
    {Setting::kRetentionDays,
     "RetentionDays",
     &RecorderSettings::retentionDays,
     SettingSpec::Default::kValue,
     {},
     0,
     -1,
     0},
    {Setting::kRetentionAtLimits,
     "RetentionAtLimits",
     &RecorderSettings::retentionAtLimits,
     SettingSpec::Default::kValue,
     {},
     0,
     -1,
     0},
    {Setting::kKeepFreeMb,
     "KeepFreeMb",
     &RecorderSettings::keepFreeMb,
     SettingSpec::Default::kValue,
     {},
     0,
     -1,
     0},
}};

constexpr const SettingSpec& settingSpec(Setting id) {
  return kSettings[static_cast<std::size_t>(id)];
}

// Whether a stored text counts as missing: empty, or refused by the setting's rule.
bool settingTextMissing(const SettingSpec& entry, std::string_view text);

// A setting's value in `settings`: the text, or the number as the store keeps it (32 bits,
// signed).
const std::string& settingText(const RecorderSettings& settings, const SettingSpec& entry);
std::int32_t settingNumber(const RecorderSettings& settings, const SettingSpec& entry);
void setSettingText(RecorderSettings& settings, const SettingSpec& entry, std::string value);
void setSettingNumber(RecorderSettings& settings, const SettingSpec& entry, std::int32_t value);

// What setting a unit up does to the settings: WAV recording needs every unit in audio mode 3,
// and the list is kept for every unit set up. Neither change is written to the store.
void applyUnitSetUp(RecorderSettings& settings, std::uint8_t audioMode);

}  // namespace parvolin::engine
