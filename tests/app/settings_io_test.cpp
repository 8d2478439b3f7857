#include "app/settings_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::TempFolder;

struct Loaded {
  settings::MemorySettingsStore store;
  engine::RecorderSettings settings;
};

TEST(SettingsLoad, EmptyStoreGetsEveryDefaultInOrderAndTheFolder) {
  TempFolder cwd;
  settings::MemorySettingsStore store;
  const auto s =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});

  const std::vector<std::string> order = {
      "ParvolinPath",       "LvLogHtmlName", "LvUsername",        "LvPassword",
      "bLvSvrAllowed",      "bAutoRefresh",  "ParvolinSetting",   "UItemNoLimitSetting",
      "USpaceLimitSetting", "RetentionDays", "RetentionAtLimits", "KeepFreeMb"};
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
      {"UItemNoLimitSetting", 0, 2000, true}, {"UItemNoLimitSetting", -1, 2000, true},
      {"USpaceLimitSetting", 0, 500, true},   {"USpaceLimitSetting", 7, 7, false},
      {"ParvolinSetting", -1, 44, true},      {"ParvolinSetting", 0, 0, false},
      {"bAutoRefresh", -1, 1, true},          {"bAutoRefresh", 0, 0, false},
      {"bLvSvrAllowed", -1, 0, true},         {"bLvSvrAllowed", 5, 0, true},
      {"bAutoRefresh", 2, 1, true},           {"ParvolinSetting", 64, 44, true},
      {"ParvolinSetting", 63, 63, false},     {"USpaceLimitSetting", -500, 500, true},
  };
  TempFolder cwd;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.stored));
    settings::MemorySettingsStore store;
    store.values[c.name] = c.stored;
    loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
    EXPECT_EQ(store.getIntOr(c.name, 12345), c.expected);
    const bool written =
        std::find(store.writes.begin(), store.writes.end(), c.name) != store.writes.end();
    EXPECT_EQ(written, c.rewritten);
  }
}

// A hand-edited value the recorder cannot use is named with the default that takes its place,
// once: the default is written back.
TEST(SettingsLoad, ValuesOutOfRangeOrNoNumbersAreNamedWithTheDefaultUsed) {
  settings::MemorySettingsStore store;
  store.values["UItemNoLimitSetting"] = std::int32_t(-5);
  store.values["bAutoRefresh"] = std::string("2");
  store.values["ParvolinSetting"] = std::string("banana");
  store.values["USpaceLimitSetting"] = std::int32_t(700);
  store.values["bLvSvrAllowed"] = std::int32_t(-1);  // the absent mark: no problem
  EXPECT_EQ(settingProblems(store),
            (std::vector<std::string>{
                "bAutoRefresh=2 is out of range (0 to 1); 1 is used",
                "ParvolinSetting=banana is not a number; 44 is used",
                "UItemNoLimitSetting=-5 is out of range (1 to any higher); 2000 is used",
            }));
  TempFolder cwd;
  const engine::RecorderSettings settings =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
  EXPECT_EQ(settings.itemLimit, 2000);
  EXPECT_EQ(settings.bAutoRefresh, 1);
  EXPECT_EQ(settings.parvolinSetting, 44u);
  EXPECT_EQ(settings.spaceLimit, 700);
  EXPECT_TRUE(settingProblems(store).empty());
}

TEST(SettingsLoad, StoredStringsAreKeptAndStoredFolderIsNotCreated) {
  TempFolder cwd;
  settings::MemorySettingsStore store;
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

TEST(StoredNumber, DecimalWithSignAndBlanksInTheThirtyTwoBitRangeElseAbsent) {
  const struct {
    const char* text;
    std::optional<std::int32_t> number;
  } cases[] = {
      {"44", 44},
      {" \t44\r\n", 44},
      {"+7", 7},
      {"-1", -1},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"4 4", std::nullopt},
      {"0x10", std::nullopt},
      {"44abc", std::nullopt},
      {"yes", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings::parseStoredNumber(c.text), c.number) << '"' << c.text << '"';
  }
}

TEST(SettingsLoad, NumbersStoredAsTextAreReadAsNumbersAndGarbageCountsAsMissing) {
  TempFolder cwd;
  settings::MemorySettingsStore store;
  store.values["ParvolinSetting"] = std::string(" 12 ");
  store.values["UItemNoLimitSetting"] = std::string("lots");
  const auto s =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
  EXPECT_EQ(s.parvolinSetting, 12u);
  EXPECT_EQ(s.itemLimit, 2000);
  EXPECT_EQ(store.getIntOr("UItemNoLimitSetting", 0), 2000);
}

TEST(SettingsLoad, ListNameThatCannotNameAListOfItsOwnCountsAsMissing) {
  const struct {
    std::string name;
    bool kept;
  } cases[] = {
      {"calls.htm", true},
      {"calls", true},
      {"my calls.HTML", true},
      {"list.LVX", true},
      {"ParvolinLog.ZERU", false},  // the list would be written over the call log
      {"parvolinlog.zeru", false},
      {"calls.wav", false},  // counted as a recording, deleted by a recording's rules
      {"w499602D2p0.LV3", false},
      {"x.lv0", false},
      {"list.LV19", false},  // a recording of a unit that reports mode 0x19
      {"list.LV123", true},
      {"../calls.htm", false},  // outside the recording folder
      {"sub/calls.htm", false},
      {"sub\\calls.htm", false},
      {".", false},
      {"..", false},
      {"tab\there.htm", false},
      {std::string("ParvolinLog.ZERU\0.htm", 21), false},  // cut at the zero by the system
  };
  TempFolder cwd;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings::MemorySettingsStore store;
    store.values["LvLogHtmlName"] = c.name;
    const auto s =
        loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
    const std::string expected = c.kept ? c.name : "ZEruTestNew.htm";
    EXPECT_EQ(s.lvLogHtmlName, expected);
    EXPECT_EQ(store.getStringOr("LvLogHtmlName", ""), expected);
    settings::MemorySettingsStore readOnly;
    readOnly.values["LvLogHtmlName"] = c.name;
    EXPECT_EQ(
        loadRecorderSettings(readOnly, {cwd.path(), DefaultWrites::None, DefaultFolder::LeaveAlone})
            .lvLogHtmlName,
        expected);
  }
}

TEST(SettingsLoad, ReadOnlyLoadDefaultsInMemoryWithoutWritingOrCreating) {
  TempFolder cwd;
  settings::MemorySettingsStore store;
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
  settings::MemorySettingsStore store;
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
  settings::MemorySettingsStore store;
  saveRecorderSettings(store, saved);
  EXPECT_EQ(store.writes.size(), engine::kSettingCount);
  const auto loaded =
      loadRecorderSettings(store, {cwd.path(), DefaultWrites::WriteBack, DefaultFolder::Create});
  for (const engine::SettingSpec& entry : engine::kSettings) {
    SCOPED_TRACE(std::string(entry.name));
    if (entry.isText()) {
      EXPECT_EQ(engine::settingText(loaded, entry), engine::settingText(saved, entry));
    } else {
      EXPECT_EQ(engine::settingNumber(loaded, entry), engine::settingNumber(saved, entry));
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
