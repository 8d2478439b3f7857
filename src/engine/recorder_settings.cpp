#include "engine/recorder_settings.h"

#include <algorithm>
#include <cctype>

#include "codec/lv_format.h"
#include "engine/call_log.h"

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
  for (const SettingSpec& entry : kSettings) {
    if (entry.kind == SettingSpec::Default::kUnderWorkingFolder) continue;
    if (entry.isText()) {
      setSettingText(*this, entry, std::string(entry.text));
    } else {
      setSettingNumber(*this, entry, entry.number);
    }
  }
}

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool isUsableListName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\') return false;
  }
  if (equalIgnoringCase(name, kCallLogName)) return false;
  // A recording's extension: ".WAV", or ".LV" and the unit's audio mode in hex, which is 0-3 but
  // written as the unit reports it.
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return true;
  const std::string_view ext = name.substr(dot + 1);
  if (equalIgnoringCase(ext, "WAV")) return false;
  const bool lv = ext.size() >= 3 && ext.size() <= 4 && equalIgnoringCase(ext.substr(0, 2), "LV") &&
                  std::all_of(ext.begin() + 2, ext.end(),
                              [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  return !lv;
}

bool settingTextMissing(const SettingSpec& entry, std::string_view text) {
  return text.empty() || (entry.usable && !entry.usable(text));
}

const std::string& settingText(const RecorderSettings& settings, const SettingSpec& entry) {
  return settings.*std::get<std::string RecorderSettings::*>(entry.field);
}

std::int32_t settingNumber(const RecorderSettings& settings, const SettingSpec& entry) {
  if (const auto* bits = std::get_if<std::uint32_t RecorderSettings::*>(&entry.field)) {
    return static_cast<std::int32_t>(settings.**bits);
  }
  return settings.*std::get<std::int32_t RecorderSettings::*>(entry.field);
}

void setSettingText(RecorderSettings& settings, const SettingSpec& entry, std::string value) {
  settings.*std::get<std::string RecorderSettings::*>(entry.field) = std::move(value);
}

void setSettingNumber(RecorderSettings& settings, const SettingSpec& entry, std::int32_t value) {
  if (const auto* bits = std::get_if<std::uint32_t RecorderSettings::*>(&entry.field)) {
    settings.** bits = static_cast<std::uint32_t>(value);
    return;
  }
  settings.*std::get<std::int32_t RecorderSettings::*>(entry.field) = value;
}

void applyUnitSetUp(RecorderSettings& settings, std::uint8_t audioMode) {
  if (audioMode != codec::kModeLog8) settings.parvolinSetting &= ~kWavFormat;
  settings.parvolinSetting |= kHtmlListOn;
}

}  // namespace parvolin::engine
