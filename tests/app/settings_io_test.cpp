#include "app/settings_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::TempFolder;

struct Loaded {
  MemorySettingsStore store;
  engine::RecorderSettings settings;
};

TEST(SettingsLoad, EmptyStoreGetsEveryDefaultInOrderAndTheFolder) {
  TempFolder cwd;
  MemorySettingsStore store;
  const auto s =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});

  const std::vector<std::string> order = {
      "ParvolinPath",    "LvLogHtmlName",       "LvUsername",
      "LvPassword",      "bLvSvrAllowed",       "bAutoRefresh",
      "ParvolinSetting", "UItemNoLimitSetting", "USpaceLimitSetting"};
  EXPECT_EQ(store.writes, order);
  const std::string folder = (cwd.path() / "ZEruFolder").string();
  EXPECT_EQ(s.parvolinPath, folder);
  EXPECT_EQ(store.getStringOr("ParvolinPath", ""), folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(s.lvLogHtmlName, "ZEruTestNew.htm");
  EXPECT_EQ(s.lvUsername, "ZORUZIVA");
  EXPECT_EQ(s.lvPassword, "ZORUZIVA");
  EXPECT_EQ(s.bLvSvrAllowed, 0);
  EXPECT_EQ(s.bAutoRefresh, 1);
  EXPECT_EQ(s.parvolinSetting, 44u);
  EXPECT_EQ(s.itemLimit, 2000);
  EXPECT_EQ(s.spaceLimit, 500);
  EXPECT_EQ(store.getIntOr("ParvolinSetting", 0), 44);
}

TEST(SettingsLoad, ValuesThatCountAsMissingAreReplacedOthersKept) {
  struct Case {
    const char* name;
    std::int32_t stored;
    std::int32_t expected;
    bool rewritten;
  };
  const Case cases[] = {
      {"UItemNoLimitSetting", 0, 2000, true}, {"UItemNoLimitSetting", -1, -1, false},
      {"USpaceLimitSetting", 0, 500, true},   {"USpaceLimitSetting", 7, 7, false},
      {"ParvolinSetting", -1, 44, true},      {"ParvolinSetting", 0, 0, false},
      {"bAutoRefresh", -1, 1, true},          {"bAutoRefresh", 0, 0, false},
      {"bLvSvrAllowed", -1, 0, true},         {"bLvSvrAllowed", 5, 5, false},
  };
  TempFolder cwd;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.stored));
    MemorySettingsStore store;
    store.values[c.name] = c.stored;
    loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
    EXPECT_EQ(store.getIntOr(c.name, 12345), c.expected);
    const bool written =
        std::find(store.writes.begin(), store.writes.end(), c.name) != store.writes.end();
    EXPECT_EQ(written, c.rewritten);
  }
}

TEST(SettingsLoad, StoredStringsAreKeptAndStoredFolderIsNotCreated) {
  TempFolder cwd;
  MemorySettingsStore store;
  const std::string elsewhere = (cwd.path() / "elsewhere").string();
  store.values["ParvolinPath"] = elsewhere;
  store.values["LvLogHtmlName"] = std::string("calls.htm");
  const auto s =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
  EXPECT_EQ(s.parvolinPath, elsewhere);
  EXPECT_EQ(s.lvLogHtmlName, "calls.htm");
  EXPECT_FALSE(std::filesystem::exists(elsewhere));
  EXPECT_FALSE(std::filesystem::exists(cwd.path() / "ZEruFolder"));
}

TEST(SettingsLoad, ReadOnlyLoadDefaultsInMemoryWithoutWritingOrCreating) {
  TempFolder cwd;
  MemorySettingsStore store;
  store.values["ParvolinSetting"] = -1;
  const auto s =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::None, DefaultFolder::LeaveAlone});
  EXPECT_TRUE(store.writes.empty());
  EXPECT_EQ(s.parvolinSetting, 44u);
  EXPECT_EQ(s.itemLimit, 2000);
  EXPECT_FALSE(std::filesystem::exists(cwd.path() / "ZEruFolder"));
}

TEST(SettingsLoad, FolderOverrideStoresTheDefaultButDoesNotCreateIt) {
  TempFolder cwd;
  MemorySettingsStore store;
  const auto s = loadRecorderSettings(
      store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::LeaveAlone});
  EXPECT_EQ(s.parvolinPath, (cwd.path() / "ZEruFolder").string());
  EXPECT_EQ(store.getStringOr("ParvolinPath", ""), s.parvolinPath);
  EXPECT_FALSE(std::filesystem::exists(cwd.path() / "ZEruFolder"));
}

TEST(SettingsSave, EverySettingComesBackAsSavedAndOneCanBeSavedAlone) {
  TempFolder cwd;
  engine::RecorderSettings saved;
  saved.parvolinPath = "/rec/ZEruFolder";
  saved.lvLogHtmlName = "calls.htm";
  saved.lvUsername = "user";
  saved.lvPassword = "secret";
  saved.bLvSvrAllowed = 1;
  saved.bAutoRefresh = 0;
  saved.parvolinSetting = 0x11;
  saved.itemLimit = 70000;
  saved.spaceLimit = 12;
  MemorySettingsStore store;
  saveRecorderSettings(store, saved);
  EXPECT_EQ(store.writes.size(), engine::kSettingCount);
  const auto loaded =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
  for (const engine::SettingSpec& spec : engine::kSettings) {
    SCOPED_TRACE(std::string(spec.name));
    if (spec.isText()) {
      EXPECT_EQ(engine::settingText(loaded, spec), engine::settingText(saved, spec));
    } else {
      EXPECT_EQ(engine::settingNumber(loaded, spec), engine::settingNumber(saved, spec));
    }
  }

  store.writes.clear();
  saved.itemLimit = 3000;
  saveSetting(store, saved, engine::Setting::kItemLimit);
  EXPECT_EQ(store.writes, std::vector<std::string>{"UItemNoLimitSetting"});
  EXPECT_EQ(store.getIntOr("UItemNoLimitSetting", 0), 3000);
}

}  // namespace
}  // namespace parvolin::app
