#include "config/configure_pages.h"

#include <gtest/gtest.h>

#include "app/recorder_session.h"
#include "config/recorder_host.h"
#include "config/store_host.h"
#include "engine/call_log.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/recorder_run.h"
#include "support/scripted_prompt.h"

namespace parvolin::config {
namespace {

namespace fs = std::filesystem;
using Titles = std::vector<std::string>;

// Emulated units, listed and opened in this order; those named in `lost` are unplugged after
// the opening and their loss noticed, so that their slots stay absent.
struct Units {
  Units(const std::string& scenario, const std::vector<std::string>& lost) {
    std::string error;
    std::optional<sim::Scenario> parsed =
        scenario.empty() ? sim::Scenario{} : sim::parseScenario(scenario, "units", ".", error);
    EXPECT_TRUE(parsed) << error;
    sim = std::make_unique<sim::SimD2xx>(*parsed, clock);
    link = std::make_unique<device::UnitLink>(*sim, clock);
    link->openAll();
    for (int u = 0; u < int(parsed->units.size()); ++u) {
      const std::string serial(link->serial(u));
      if (std::find(lost.begin(), lost.end(), serial) == lost.end()) continue;
      sim->findUnit(serial)->unplug();
      std::uint8_t buffer[64];
      link->readStream(buffer, sizeof buffer, u);
    }
  }
  base::VirtualClock clock;
  std::unique_ptr<sim::SimD2xx> sim;
  std::unique_ptr<device::UnitLink> link;
};

class Pages : public ::testing::Test {
 protected:
  test::TempFolder dir;
  settings::MemorySettingsStore store;
  app::FakeWorkingFolder workingFolder{dir.path()};
  parvolin::test::ScriptedPrompt prompt;
};

TEST_F(Pages, OnlyUnit3PresentGivesFourTabsAndTheFirstTwoFindTheirUnitAbsent) {
  Units units("unit A1\nunit A2\nunit A3 varports=0x54\n", {"A1", "A2"});
  ASSERT_TRUE(units.link->isPresent(2) && !units.link->isPresent(0));
  StoreHost host(store, engine::RecorderSettings(), workingFolder, units.link.get());
  ConfigurePages pages(host, prompt);
  EXPECT_TRUE(prompt.shown.empty()) << "absent units are not asked";
  EXPECT_EQ(pages.hardware(2).fields().varPort[2], true) << "unit 3 was read";
  pages.initialise();
  EXPECT_EQ(pages.pageCount(), 4);
  EXPECT_EQ(pages.tabTitles(), (Titles{"S/W Settings", "H/W Settings(Unit1)", "H/W Settings(Unit2)",
                                       "H/W Settings(Unit3)"}));
  ASSERT_EQ(prompt.shown.size(), 2u);
  for (const auto& shown : prompt.shown) EXPECT_EQ(shown.text, device::kVersionErrorText);
  EXPECT_FALSE(pages.hardware(0).writeEnabled());
  EXPECT_EQ(pages.hardware(0).fields().varThreshold, kNoSelection);
  EXPECT_TRUE(pages.hardware(2).writeEnabled());
  EXPECT_EQ(pages.hardware(2).fields().deviceId, "A3");
}

TEST_F(Pages, CountFollowsTheHighestPresentUnit) {
  struct Case {
    const char* scenario;
    std::vector<std::string> failing;
    int count;
  };
  const Case cases[] = {
      {"", {}, 1},
      {"unit A1\n", {}, 2},
      {"unit A1\nunit A2\n", {"A2"}, 2},
      {"unit A1\nunit A2\nunit A3\nunit A4\n", {}, 5},
      {"unit A1\nunit A2\nunit A3\nunit A4\n", {"A1", "A2", "A3"}, 5},
  };
  for (const Case& c : cases) {
    Units units(c.scenario, c.failing);
    StoreHost host(store, engine::RecorderSettings(), workingFolder, units.link.get());
    ConfigurePages pages(host, prompt);
    pages.initialise();
    EXPECT_EQ(pages.pageCount(), c.count) << c.scenario;
    EXPECT_EQ(int(pages.tabTitles().size()), c.count);
  }
  StoreHost withoutUnits(store, engine::RecorderSettings(), workingFolder, nullptr);
  ConfigurePages pages(withoutUnits, prompt);
  pages.initialise();
  EXPECT_EQ(pages.tabTitles(), Titles{"S/W Settings"});
}

// On a running recorder: the settings are used from the next call on, the audio mode written on
// a hardware page reaches the engine and the software page, and the folder moves the recording.
TEST(RecorderConfiguration, TheRunningRecorderUsesWhatThePagesStore) {
  test::RecorderRun run(
      "unit A1\n"
      "2 1/1 dialout 12\n"
      "+0 1/1 talk 1 silence\n"
      "+1 1/1 calloutend 12\n"
      "8 1/2 dialout 34\n"
      "+0 1/2 talk 1 silence\n"
      "+1 1/2 calloutend 34\n");
  run.store.values["ParvolinSetting"] = std::int32_t(engine::kLvFormat | engine::kHtmlListOn);
  run.open();
  RecorderHost host(*run.recorder);
  {
    ConfigurePages pages(host, run.prompt);
    pages.initialise();
    EXPECT_EQ(pages.pageCount(), 2);
    SoftwarePage& software = pages.software();
    software.toggleKeepShortCalls();
    software.toggleWavFormat();
    SoftwareFields controls = software.fields();
    controls.folder = (run.dir / "moved").string();
    EXPECT_TRUE(software.ok(controls).allTaken());
  }
  EXPECT_EQ(run.store.getStringOr("ParvolinPath", ""), (run.dir / "moved" / "ZEruFolder").string());
  run.tickUntil(5);
  // The short outgoing call is kept, as a WAV file, in the new folder.
  const fs::path moved = run.dir / "moved" / "ZEruFolder";
  ASSERT_TRUE(fs::exists(moved / engine::kCallLogName));
  EXPECT_EQ(run.files(moved).size(), 3u) << "recording, call log, list";
  run.recorder->refreshAfterConfigure();
  EXPECT_EQ(run.recorder->fields().locationLine, app::makeLocationLine(moved.string()));

  run.prompt.shown.clear();
  {
    ConfigurePages pages(host, run.prompt);
    pages.initialise();
    HardwareFields controls = pages.hardware(0).fields();
    controls.audioMode = 2;
    EXPECT_EQ(pages.hardware(0).writeHardware(controls), HardwarePage::WriteResult::kDone);
    EXPECT_EQ(run.recorder->unit(0).audioMode, 2);
    // Right after, the software page refuses WAV.
    SoftwareFields software = pages.software().fields();
    ASSERT_TRUE(software.wavFormat);
    EXPECT_TRUE(pages.software().ok(software).wavRefused);
  }
  EXPECT_FALSE(run.recorder->settings().has(engine::kWavFormat));
  run.tickUntil(11);
  // The unit still encodes in mode 3 until its power cycle; the recorder names by AudioMode.
  bool lv2 = false;
  for (const std::string& name : run.files(moved)) lv2 |= name.ends_with(".LV2");
  EXPECT_TRUE(lv2);
}

}  // namespace
}  // namespace parvolin::config
