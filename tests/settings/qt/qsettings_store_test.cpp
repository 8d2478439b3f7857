#include "settings/qt/qsettings_store.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace parvolin::settings {
namespace {

using test::TempFolder;

TEST(QSettingsStore, IniFileKeepsTypesInTheSectionAndTreatsGarbageAsAbsent) {
  TempFolder dir;
  const auto file = dir / "Parvolin.conf";
  {
    auto store = makeQSettingsStore(file);
    store->setString("LvLogHtmlName", "list with blanks.htm");
    store->setInt("ParvolinSetting", -1);
    store->setInt("USN", static_cast<std::int32_t>(0x89ABCDEF));
  }
  auto store = makeQSettingsStore(file);
  EXPECT_EQ(store->getStringOr("LvLogHtmlName", ""), "list with blanks.htm");
  EXPECT_EQ(store->getIntOr("ParvolinSetting", 0), -1);
  EXPECT_EQ(store->getIntOr("USN", 0), static_cast<std::int32_t>(0x89ABCDEF));
  EXPECT_FALSE(store->getInt("UItemNoLimitSetting").has_value());
  EXPECT_FALSE(store->getString("LvUsername").has_value());
  store->setString("bAutoRefresh", "yes");
  EXPECT_FALSE(store->getInt("bAutoRefresh").has_value());

  const std::string text = test::readFile(file);
  EXPECT_NE(text.find("[Parvolin]"), std::string::npos) << text;
}

}  // namespace
}  // namespace parvolin::settings
