#include "tools/pvtool_settings.h"

#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "base/folder_lock.h"
#include "config/software_page.h"
#include "config/store_host.h"
#include "sim/sim_d2xx.h"
#include "support/expect_ok.h"
#include "support/scripted_d2xx.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::tools {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Opens the one store of the test, whatever --config says, and remembers what it was given.
class PvtoolSettings : public ::testing::Test {
 protected:
  int run(const Args& args) {
    out.str("");
    err.str("");
    const SettingsStoreOpener open = [this](const std::optional<fs::path>& config) {
      configGiven = config;
      return std::make_unique<StoreView>(store);
    };
    return runSettingsWith(args, {open, workingFolder, out, err});
  }
  // The test's store, handed out as many times as it is opened.
  struct StoreView final : settings::SettingsStore {
    explicit StoreView(settings::MemorySettingsStore& s) : s(s) {}
    std::optional<std::string> getString(std::string_view n) override { return s.getString(n); }
    std::optional<std::int32_t> getInt(std::string_view n) override { return s.getInt(n); }
    void setString(std::string_view n, std::string_view v) override { s.setString(n, v); }
    void setInt(std::string_view n, std::int32_t v) override { s.setInt(n, v); }
    settings::MemorySettingsStore& s;
  };

  test::TempFolder dir;
  settings::MemorySettingsStore store;
  app::FakeWorkingFolder workingFolder{dir.path()};
  std::optional<fs::path> configGiven;
  std::ostringstream out, err;
};

TEST_F(PvtoolSettings, ShowsTheStoredSettingsWithoutWritingAny) {
  store.values["ParvolinSetting"] = std::int32_t(0x19);  // L1, short calls, WAV
  store.values["LvLogHtmlName"] = std::string("calls.htm");
  // The file named must be there to be shown; the store stands in for what it holds.
  const fs::path ini = dir / "x.ini";
  test::writeFile(ini, "");
  EXPECT_EQ(run({"--config", ini.string()}), 0);
  EXPECT_EQ(configGiven, ini);
  EXPECT_THAT(out.str(), HasSubstr("format          wav\n"));
  EXPECT_THAT(out.str(), HasSubstr("dava            1 (L1, Less)\n"));
  EXPECT_THAT(out.str(), HasSubstr("html            off\n"));
  EXPECT_THAT(out.str(), HasSubstr("html-name       calls.htm\n"));
  EXPECT_THAT(out.str(), HasSubstr("folder          (not set"));
  EXPECT_THAT(out.str(), HasSubstr("capacity-items  2000\n"));
  EXPECT_TRUE(store.writes.empty());
}

// The command line and the dialog's page leave the same store for the same changes.
TEST_F(PvtoolSettings, ChangesAreStoredAsTheDialogStoresThem) {
  store.values["ParvolinPath"] = (dir / "rec" / "ZEruFolder").string();
  fs::create_directories(dir / "rec" / "ZEruFolder");
  EXPECT_EQ(run({"format=wav", "dava=2", "html=off", "short-calls=off", "auto-refresh=off",
                 "html-name=list.htm", "capacity-items=300", "capacity-space=0",
                 "folder=" + (dir / "new").string()}),
            0)
      << err.str();
  const auto byPvtool = store.values;
  const auto writesByPvtool = store.writes;

  settings::MemorySettingsStore other;
  other.values["ParvolinPath"] = (dir / "rec" / "ZEruFolder").string();
  fs::remove_all(dir / "new");
  engine::RecorderSettings settings;
  settings.parvolinPath = (dir / "rec" / "ZEruFolder").string();
  app::FakeWorkingFolder folder{dir.path()};
  config::StoreHost host(other, settings, folder);
  test::ScriptedPrompt prompt;
  config::SoftwarePage page(host, prompt);
  page.toggleWavFormat();
  page.toggleDavaLevel2();
  page.toggleHtmlList();
  page.toggleKeepShortCalls();
  config::SoftwareFields controls = page.fields();
  controls.autoRefresh = false;
  controls.htmlName = "list.htm";
  controls.capacityItems = 300;
  controls.capacitySpaceMb = 0;
  controls.folder = (dir / "new").string();
  page.ok(controls);
  EXPECT_EQ(byPvtool, other.values);
  EXPECT_EQ(writesByPvtool, other.writes);
  EXPECT_THAT(out.str(), HasSubstr("Settings now:"));
}

TEST_F(PvtoolSettings, RefusalsAreShownAndFailTheCommand) {
  EXPECT_EQ(run({"html-name=../calls.htm"}), 1);
  EXPECT_THAT(out.str(), HasSubstr("The HTML file name \"../calls.htm\" cannot be used"));
  EXPECT_EQ(store.getStringOr("LvLogHtmlName", ""), "");
}

// A running recorder reads its settings only when it starts: a folder it holds is not changed
// under it, nor are the settings pointed at a folder another program holds.
TEST_F(PvtoolSettings, FoldersHeldByAnotherProgramAreLeftAlone) {
  const fs::path rec = dir / "rec";
  const fs::path busy = dir / "busy" / "ZEruFolder";  // the folder typed, and its sub-folder
  fs::create_directories(rec);
  fs::create_directories(busy);
  store.values["ParvolinPath"] = rec.string();
  {
    const base::FolderLock recorder = base::FolderLock::acquire(rec, "parvolin");
    ASSERT_WORKED(recorder.held());
    EXPECT_EQ(run({"dava=1"}), 1);
    EXPECT_THAT(err.str(), HasSubstr(rec.string() + " is in use by process "));
    EXPECT_THAT(err.str(), HasSubstr("(parvolin)"));
    EXPECT_TRUE(store.writes.empty());
  }
  const base::FolderLock other = base::FolderLock::acquire(busy, "parvolin");
  EXPECT_EQ(run({"folder=" + (dir / "busy").string()}), 1);
  EXPECT_THAT(out.str(), HasSubstr(busy.string() + " is in use by process "));
  EXPECT_THAT(out.str(), HasSubstr("The recording folder stays " + rec.string()));
  EXPECT_EQ(store.getStringOr("ParvolinPath", ""), rec.string());
  EXPECT_EQ(workingFolder.current(), dir.path());
}

TEST_F(PvtoolSettings, BadArgumentsChangeNothing) {
  const Args bad[] = {{"format=mp3"}, {"dava=3"}, {"html=maybe"},   {"capacity-items=-4"},
                      {"colour=red"}, {"format"}, {"--folder", "x"}};
  for (const Args& args : bad) {
    EXPECT_EQ(run(args), 2) << args[0];
    EXPECT_THAT(err.str(), HasSubstr("usage: pvtool settings")) << args[0];
  }
  EXPECT_EQ(run({"dava=1", "dava=x"}), 2);
  EXPECT_TRUE(store.writes.empty());
}

class PvtoolUnitSettings : public ::testing::Test {
 protected:
  int run(const Args& args) {
    out.str("");
    err.str("");
    return runUnitSettings(args, out, err);
  }
  fs::path scenario(const std::string& text) {
    const fs::path path = dir / "units.scenario";
    std::ofstream(path) << text;
    return path;
  }
  test::TempFolder dir;
  std::ostringstream out, err;
};

TEST_F(PvtoolUnitSettings, ShowsAUnitsSettingsAndWritesTheChangedOnes) {
  const fs::path units = scenario("unit A1\nunit A2 varports=0x53 mode=1 offdelay=0x23\n");
  EXPECT_EQ(run({"--simulate=" + units.string(), "2"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "Unit2  serial A2\n"
            "  device-id       A2\n"
            "  var-ports       5,6\n"
            "  threshold       2: Mid Sensitivity\n"
            "  turn-off-delay  1: 12 seconds\n"
            "  timeout         0: 20 minutes\n"
            "  audio-mode      1. Tiny file, Poor audio\n"
            "  caller-id       dtmf,fsk,forced\n");

  EXPECT_EQ(run({"--simulate=" + units.string(), "2", "var-ports=8", "timeout=3", "caller-id=fsk"}),
            0)
      << err.str();
  const std::string s =
      "VAR channels and mode settings are successfully writen into hardware.\nYou must restart "
      "the hardware(Power OFF and ON) for them to take effect!\n";
  // The ports, the turn-off delay (its invalid 0x23 was shown as 12 seconds, which is written)
  // and the time-out.
  EXPECT_THAT(out.str(),
              HasSubstr("Writing:\n" + s + s + s +
                        "Finished mode setting for caller ID detection. The new setting will be "
                        "activated after restart!\n"));
}

TEST_F(PvtoolUnitSettings, AUnitThatIsMissingOrHeldIsNamedPlainly) {
  const fs::path units = scenario("unit A1\n");
  EXPECT_EQ(run({"--simulate=" + units.string(), "3"}), 1);
  EXPECT_THAT(err.str(), HasSubstr("Unit3 is not attached"));

  // A recorder that runs holds its units open: they list but do not open.
  base::VirtualClock clock;
  test::ScriptedD2xx d2xx(clock);
  d2xx.addDevice("PV7").openFails = true;
  EXPECT_EQ(runUnitSettingsOn(d2xx, clock, 0, {}, out, err), 1);
  EXPECT_THAT(err.str(), HasSubstr("Unit1 (serial PV7) could not be opened. A running recorder "
                                   "holds its units"));
}

TEST_F(PvtoolUnitSettings, BadArgumentsAreRefusedBeforeAnyUnitIsOpened) {
  const Args bad[] = {{"5"},
                      {"1", "var-ports=5"},
                      {"2", "var-ports=1"},
                      {"1", "threshold=4"},
                      {"1", "caller-id=tone"},
                      {"1", "volume=3"},
                      {}};
  for (const Args& args : bad) {
    EXPECT_EQ(run(args), 2) << (args.empty() ? "" : args.back());
    EXPECT_THAT(err.str(), HasSubstr("usage: pvtool unit-settings"));
  }
}

}  // namespace
}  // namespace parvolin::tools

namespace parvolin::tools {
namespace {

TEST_F(PvtoolSettings, RetentionIsOffByDefaultAndIsStoredAsTheRetentionPageStoresIt) {
  EXPECT_EQ(run({}), 0);
  EXPECT_THAT(out.str(), HasSubstr("retention-days  0 (for ever)\n"));
  EXPECT_THAT(out.str(), HasSubstr("retention-at-limits off\n"));
  EXPECT_THAT(out.str(), HasSubstr("keep-free-mb    0 (no margin)\n"));

  store.values["ParvolinPath"] = (dir / "rec").string();
  fs::create_directories(dir / "rec");
  EXPECT_EQ(run({"retention-days=30", "retention-at-limits=on", "keep-free-mb=500"}), 0)
      << err.str();
  EXPECT_EQ(store.values["RetentionDays"], settings::MemorySettingsStore::Value(std::int32_t(30)));
  EXPECT_EQ(store.values["RetentionAtLimits"],
            settings::MemorySettingsStore::Value(std::int32_t(1)));
  EXPECT_EQ(store.values["KeepFreeMb"], settings::MemorySettingsStore::Value(std::int32_t(500)));
  EXPECT_THAT(out.str(), HasSubstr("retention-days  30 (days)\n"));

  // A value refused stores nothing, also of the other changes given with it.
  const auto before = store.values;
  EXPECT_EQ(run({"retention-days=40000", "keep-free-mb=1"}), 2);
  EXPECT_THAT(err.str(), HasSubstr("0 (for ever) to 36500 days"));
  EXPECT_EQ(run({"retention-at-limits=maybe"}), 2);
  EXPECT_EQ(run({"keep-free-mb=-5"}), 2);
  EXPECT_EQ(store.values, before);
}

}  // namespace
}  // namespace parvolin::tools
