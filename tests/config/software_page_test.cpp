#include "config/software_page.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app/working_folder.h"
#include "config/store_host.h"
#include "settings/settings_store.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::config {
namespace {

namespace fs = std::filesystem;
using Writes = std::vector<std::string>;

class SoftwareTest : public ::testing::Test {
 protected:
  SoftwareTest() {
    fs::create_directories(recording);
    engine::RecorderSettings settings;
    settings.parvolinPath = recording.string();
    host.emplace(store, settings, workingFolder);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> shown;
    for (const auto& s : prompt.shown) shown.push_back(s.text);
    return shown;
  }
  std::vector<std::string> folderContents() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
      names.push_back(e.path().string());
    }
    return names;
  }

  test::TempFolder dir;
  fs::path recording = dir / "rec" / "ZEruFolder";
  settings::MemorySettingsStore store;
  app::FakeWorkingFolder workingFolder{recording};
  std::optional<StoreHost> host;
  parvolin::test::ScriptedPrompt prompt;
};

TEST_F(SoftwareTest, ShowsTheSettingsWithLvWheneverWavIsOff) {
  struct Case {
    std::uint32_t flags;
    bool lv, wav;
  };
  const Case cases[] = {
      {0x2C, true, false}, {0x10, false, true}, {0x00, true, false}, {0x30, true, true}};
  for (const Case& c : cases) {
    engine::RecorderSettings settings;
    settings.parvolinSetting = c.flags;
    settings.bAutoRefresh = 0;
    settings.itemLimit = 30;
    StoreHost h(store, settings, workingFolder);
    const SoftwareFields f = SoftwarePage(h, prompt).fields();
    EXPECT_EQ(f.lvFormat, c.lv) << c.flags;
    EXPECT_EQ(f.wavFormat, c.wav) << c.flags;
    EXPECT_EQ(f.htmlList, (c.flags & 4) != 0) << c.flags;
    EXPECT_EQ(f.keepShortCalls, (c.flags & 8) != 0) << c.flags;
    EXPECT_FALSE(f.autoRefresh);
    EXPECT_EQ(f.capacityItems, 30);
    EXPECT_EQ(f.htmlName, "ZEruTestNew.htm");
  }
}

TEST_F(SoftwareTest, CheckBoxesKeepTheDavaLevelsApartAndExactlyOneFormat) {
  SoftwarePage page(*host, prompt);
  struct Step {
    void (SoftwarePage::*toggle)();
    bool l1, l2, lv, wav;
  };
  const Step steps[] = {
      {&SoftwarePage::toggleDavaLevel1, true, false, true, false},
      {&SoftwarePage::toggleDavaLevel2, false, true, true, false},
      {&SoftwarePage::toggleDavaLevel2, false, false, true, false},  // no Dava at all
      {&SoftwarePage::toggleDavaLevel2, false, true, true, false},
      {&SoftwarePage::toggleDavaLevel1, true, false, true, false},
      {&SoftwarePage::toggleWavFormat, true, false, false, true},
      {&SoftwarePage::toggleWavFormat, true, false, true, false},
      {&SoftwarePage::toggleLvFormat, true, false, false, true},
      {&SoftwarePage::toggleLvFormat, true, false, true, false},
  };
  int n = 0;
  for (const Step& s : steps) {
    (page.*s.toggle)();
    const SoftwareFields& f = page.fields();
    EXPECT_EQ(f.davaLevel1, s.l1) << "step " << n;
    EXPECT_EQ(f.davaLevel2, s.l2) << "step " << n;
    EXPECT_EQ(f.lvFormat, s.lv) << "step " << n;
    EXPECT_EQ(f.wavFormat, s.wav) << "step " << n;
    ++n;
  }
}

TEST_F(SoftwareTest, OkWithNothingChangedWritesTheFlagsAndAutoRefreshOnly) {
  const auto before = folderContents();
  SoftwarePage page(*host, prompt);
  const SoftwareOkOutcome outcome = page.ok(page.fields());
  EXPECT_TRUE(outcome.allTaken());
  EXPECT_FALSE(outcome.folderNotCreated);
  EXPECT_EQ(store.writes, (Writes{"ParvolinSetting", "bAutoRefresh"}));
  EXPECT_TRUE(prompt.shown.empty());
  EXPECT_EQ(folderContents(), before) << "no directory is created";
}

TEST_F(SoftwareTest, OkStoresTheFlagsOfTheSixCheckBoxes) {
  SoftwarePage page(*host, prompt);
  page.toggleDavaLevel2();
  page.toggleHtmlList();
  page.toggleKeepShortCalls();
  page.toggleWavFormat();
  page.ok(page.fields());
  EXPECT_EQ(host->settings().parvolinSetting, engine::kDavaLevel2 | engine::kWavFormat);
  EXPECT_EQ(store.getIntOr("ParvolinSetting", -1), 0x12);
}

TEST_F(SoftwareTest, WavIsRefusedWhileAUnitIsNotInAudioMode3) {
  for (const int otherMode : {3, 2}) {
    host->setAudioMode(3, static_cast<std::uint8_t>(otherMode));
    prompt.shown.clear();
    SoftwarePage page(*host, prompt);
    if (!page.fields().wavFormat) page.toggleWavFormat();
    const SoftwareOkOutcome outcome = page.ok(page.fields());
    if (otherMode == 3) {
      EXPECT_TRUE(prompt.shown.empty());
      EXPECT_TRUE(host->settings().has(engine::kWavFormat)) << "every unit in mode 3: WAV kept";
      continue;
    }
    EXPECT_TRUE(outcome.wavRefused);
    EXPECT_EQ(texts(),
              std::vector<std::string>{
                  "You selected .WAV recording mode which conflicts with the settings of Parvolin "
                  "hardware.\nPlease make sure all hardware audio mode(s) are changed to Mode 3 "
                  "before you can set this recording file format,\nNow the recording format is "
                  "kept as LV!"});
    EXPECT_EQ(host->settings().parvolinSetting & (engine::kWavFormat | engine::kLvFormat),
              engine::kLvFormat);
    EXPECT_TRUE(page.fields().lvFormat && !page.fields().wavFormat);
  }
}

TEST_F(SoftwareTest, CapacityEntriesOf0ChangeNothing) {
  struct Case {
    std::int32_t items, space;
    Writes writes;
    std::int32_t itemLimit, spaceLimit;
  };
  const Case cases[] = {
      {0, 0, {}, 2000, 500},
      {2000, 500, {}, 2000, 500},
      {150, 0, {"UItemNoLimitSetting"}, 150, 500},
      {0, 80, {"USpaceLimitSetting"}, 150, 80},
      {-5, -1, {}, 150, 80},
  };
  for (const Case& c : cases) {
    SoftwarePage page(*host, prompt);
    SoftwareFields controls = page.fields();
    controls.capacityItems = c.items;
    controls.capacitySpaceMb = c.space;
    store.writes.clear();
    page.ok(controls);
    Writes limits;
    for (const std::string& w : store.writes) {
      if (w.find("Limit") != std::string::npos) limits.push_back(w);
    }
    EXPECT_EQ(limits, c.writes) << c.items << "/" << c.space;
    EXPECT_EQ(host->settings().itemLimit, c.itemLimit);
    EXPECT_EQ(host->settings().spaceLimit, c.spaceLimit);
  }
}

TEST_F(SoftwareTest, AListNameOutsideTheRecordingFolderIsRefused) {
  const char* refused[] = {"", "sub/calls.htm", "..\\calls.htm", ".", ".."};
  for (const char* name : refused) {
    SoftwarePage page(*host, prompt);
    SoftwareFields controls = page.fields();
    controls.htmlName = name;
    controls.keepShortCalls = !controls.keepShortCalls;
    prompt.shown.clear();
    store.writes.clear();
    const SoftwareOkOutcome outcome = page.ok(controls);
    EXPECT_TRUE(outcome.htmlNameRefused) << name;
    EXPECT_EQ(texts(), std::vector<std::string>{htmlNameRefusedText(name, "ZEruTestNew.htm")});
    EXPECT_EQ(host->settings().lvLogHtmlName, "ZEruTestNew.htm");
    EXPECT_EQ(page.fields().htmlName, "ZEruTestNew.htm");
    EXPECT_EQ(store.writes, (Writes{"ParvolinSetting", "bAutoRefresh"})) << "the rest is stored";
  }
  SoftwarePage page(*host, prompt);
  SoftwareFields controls = page.fields();
  controls.htmlName = "Calls 2024.htm";
  store.writes.clear();
  page.ok(controls);
  EXPECT_EQ(store.writes, (Writes{"ParvolinSetting", "bAutoRefresh", "LvLogHtmlName"}));
  EXPECT_EQ(store.getStringOr("LvLogHtmlName", ""), "Calls 2024.htm");
}

TEST_F(SoftwareTest, ANewFolderIsStoredCreatedAndEntered) {
  struct Case {
    fs::path typed;  // under the test's folder, or relative to the current recording folder
    fs::path stored;
  };
  const Case cases[] = {
      // Relative: the folder it names now, stored whole so that the next start finds it.
      {"inner", recording / "inner" / "ZEruFolder"},
      {dir / "new", dir / "new" / "ZEruFolder"},
      {dir / "typed" / "ZEruFolder", dir / "typed" / "ZEruFolder"},
      {dir / "TypedZEruFolder", dir / "TypedZEruFolder"},
  };
  for (const Case& c : cases) {
    fs::create_directories(c.stored.parent_path());
    SoftwarePage page(*host, prompt);
    SoftwareFields controls = page.fields();
    controls.folder = c.typed.string();
    prompt.shown.clear();
    store.writes.clear();
    const SoftwareOkOutcome outcome = page.ok(controls);
    EXPECT_TRUE(outcome.allTaken()) << c.typed;
    EXPECT_TRUE(prompt.shown.empty()) << c.typed;
    EXPECT_EQ(store.writes, (Writes{"ParvolinSetting", "bAutoRefresh", "ParvolinPath"}));
    EXPECT_EQ(store.getStringOr("ParvolinPath", ""), c.stored.string());
    EXPECT_EQ(host->settings().parvolinPath, c.stored.string());
    EXPECT_TRUE(fs::is_directory(c.stored)) << c.stored;
    EXPECT_EQ(workingFolder.current(), c.stored);
  }
}

TEST_F(SoftwareTest, AFolderThatExistsIsTakenWithTheDesignsMessage) {
  // The folder exists already: it cannot be created, and is used.
  fs::create_directories(dir / "old" / "ZEruFolder");
  SoftwarePage page(*host, prompt);
  SoftwareFields controls = page.fields();
  controls.folder = (dir / "old").string();
  SoftwareOkOutcome outcome = page.ok(controls);
  EXPECT_TRUE(outcome.folderNotCreated && !outcome.folderNotLocated && !outcome.folderRefused);
  EXPECT_EQ(texts(), std::vector<std::string>{std::string(kFolderNotCreatedText)});
  EXPECT_EQ(workingFolder.current(), dir / "old" / "ZEruFolder");
  EXPECT_EQ(store.getStringOr("ParvolinPath", ""), (dir / "old" / "ZEruFolder").string());
}

// A folder that is empty, or cannot be made or written in, would leave the recorder recording
// nowhere (or in "/ZEruFolder"): refused before anything is stored, the recording staying put.
TEST_F(SoftwareTest, AFolderThatCannotBeRecordedInIsRefusedAndNothingIsStored) {
  test::writeFile(dir / "afile", "x");
  fs::create_directories(dir / "readonly");
  fs::permissions(dir / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
  const bool root = ::geteuid() == 0;
  struct Case {
    std::string typed;
    std::string says;
  };
  std::vector<Case> cases = {
      {"", "no folder was given"},
      {"   ", "no folder was given"},
      {(dir / "afile").string(), "it cannot be made"},
  };
  if (!root) cases.push_back({(dir / "readonly" / "ZEruFolder").string(), "cannot be"});
  for (const Case& c : cases) {
    SCOPED_TRACE("'" + c.typed + "'");
    prompt.shown.clear();
    store.writes.clear();
    SoftwarePage page(*host, prompt);
    SoftwareFields controls = page.fields();
    controls.folder = c.typed;
    controls.htmlList = !controls.htmlList;
    controls.capacityItems = 77;
    const SoftwareOkOutcome outcome = page.ok(controls);
    EXPECT_TRUE(outcome.folderRefused);
    EXPECT_FALSE(outcome.allTaken());
    ASSERT_EQ(texts().size(), 1u);
    EXPECT_NE(texts()[0].find(c.says), std::string::npos) << texts()[0];
    EXPECT_NE(texts()[0].find("stays " + recording.string()), std::string::npos) << texts()[0];
    EXPECT_TRUE(store.writes.empty()) << "nothing stored, not the other changes either";
    EXPECT_EQ(host->settings().parvolinPath, recording.string());
    EXPECT_EQ(workingFolder.current(), recording);
    EXPECT_EQ(page.fields().folder, recording.string());
  }
  EXPECT_FALSE(fs::exists(dir / "ZEruFolder"));
  fs::permissions(dir / "readonly", fs::perms::owner_all);
}

TEST_F(SoftwareTest, BrowseTakesTheChosenFolderOrTheCurrentOne) {
  SoftwarePage page(*host, prompt);
  page.browse(std::string("/media/disk/Rec"));
  EXPECT_EQ(page.fields().folder, "/media/disk/Rec/ZEruFolder");
  page.browse(std::nullopt);  // cancelled: the folder in use, typed text dropped
  EXPECT_EQ(page.fields().folder, recording.string());

  engine::RecorderSettings settings;
  settings.parvolinPath = "/srv/calls";
  StoreHost other(store, settings, workingFolder);
  SoftwarePage otherPage(other, prompt);
  otherPage.browse(std::nullopt);
  EXPECT_EQ(otherPage.fields().folder, "/srv/calls/ZEruFolder");
}

}  // namespace
}  // namespace parvolin::config
