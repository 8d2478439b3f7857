#include <QSettings>
#include <QString>
#include <QVariant>

#include "settings/qt/qsettings_store.h"

namespace parvolin::settings {
namespace {

constexpr const char* kOrganisation = "ParvolinUsb";
constexpr const char* kApplication = "Parvolin";
constexpr const char* kSection = "Parvolin";

class QSettingsStore final : public SettingsStore {
 public:
  explicit QSettingsStore(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {
    settings_->beginGroup(QString::fromLatin1(kSection));
  }
  ~QSettingsStore() override {
    settings_->endGroup();
    settings_->sync();
  }

  std::optional<std::string> getString(std::string_view name) override {
    const QVariant value = settings_->value(key(name));
    if (!value.isValid()) return {};
    return value.toString().toStdString();
  }

  std::optional<std::int32_t> getInt(std::string_view name) override {
    const QVariant value = settings_->value(key(name));
    if (!value.isValid()) return {};
    // An INI file holds every value as text; a value that is not a 32-bit number counts as
    // absent, so the caller's default applies.
    return parseStoredNumber(value.toString().toStdString());
  }

  void setString(std::string_view name, std::string_view value) override {
    settings_->setValue(key(name),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    settings_->sync();
  }

  void setInt(std::string_view name, std::int32_t value) override {
    settings_->setValue(key(name), static_cast<int>(value));
    settings_->sync();
  }

 private:
  static QString key(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  }

  std::unique_ptr<QSettings> settings_;
};

}  // namespace

std::unique_ptr<SettingsStore> makeQSettingsStore(
    const std::optional<std::filesystem::path>& configFile) {
  std::unique_ptr<QSettings> settings;
  if (configFile) {
    settings = std::make_unique<QSettings>(QString::fromStdString(configFile->string()),
                                           QSettings::IniFormat);
  } else {
    settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QString::fromLatin1(kOrganisation),
                                           QString::fromLatin1(kApplication));
  }
  return std::make_unique<QSettingsStore>(std::move(settings));
}

}  // namespace parvolin::settings
