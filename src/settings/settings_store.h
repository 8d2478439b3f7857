#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace parvolin::settings {

// Where the recorder keeps its settings between runs: named string and 32-bit integer values in
// the settings section. The real store is QSettings (settings/qt/qsettings_store.h: the registry
// on Windows, an INI file on Linux); MemorySettingsStore holds values in memory only.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The stored value, or nothing when the name is absent or holds no value of that type.
  virtual std::optional<std::string> getString(std::string_view name) = 0;
  virtual std::optional<std::int32_t> getInt(std::string_view name) = 0;
  // Writes the value at once. A store that cannot write ignores the failure.
  virtual void setString(std::string_view name, std::string_view value) = 0;
  virtual void setInt(std::string_view name, std::int32_t value) = 0;

  std::string getStringOr(std::string_view name, std::string_view fallback) {
    return getString(name).value_or(std::string(fallback));
  }
  std::int32_t getIntOr(std::string_view name, std::int32_t fallback) {
    return getInt(name).value_or(fallback);
  }
};

// A stored value read as a 32-bit number: decimal digits after an optional sign, with blanks
// (spaces, tabs, line ends) around them allowed; nothing for any other text, or for a number
// outside the 32-bit range. An INI file holds every value as text: this is how a number is read
// back from it, and a value that is not one counts as absent.
std::optional<std::int32_t> parseStoredNumber(std::string_view text);

// A store held in memory. A number stored as text is read as parseStoredNumber reads it. It
// records the names it was asked to write, in order.
class MemorySettingsStore final : public SettingsStore {
 public:
  using Value = std::variant<std::string, std::int32_t>;

  std::optional<std::string> getString(std::string_view name) override {
    const auto it = values.find(name);
    if (it == values.end() || !std::holds_alternative<std::string>(it->second)) return {};
    return std::get<std::string>(it->second);
  }
  std::optional<std::int32_t> getInt(std::string_view name) override {
    const auto it = values.find(name);
    if (it == values.end()) return {};
    if (const auto* text = std::get_if<std::string>(&it->second)) return parseStoredNumber(*text);
    return std::get<std::int32_t>(it->second);
  }
  void setString(std::string_view name, std::string_view value) override {
    values[std::string(name)] = std::string(value);
    writes.emplace_back(name);
  }
  void setInt(std::string_view name, std::int32_t value) override {
    values[std::string(name)] = value;
    writes.emplace_back(name);
  }

  std::map<std::string, Value, std::less<>> values;
  std::vector<std::string> writes;
};

}  // namespace parvolin::settings
