#include "app/startup.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/settings_io.h"
#include "base/clock.h"
#include "engine/recorder_settings.h"
#include "sim/sim_d2xx.h"
#include "support/scripted_d2xx.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::TempFolder;

struct StartupRig {
  TempFolder cwd;
  base::VirtualClock clock;
  test::ScriptedD2xx d2xx{clock};  // nothing attached
  device::UnitLink link{d2xx, clock};
  settings::MemorySettingsStore store;
  test::ScriptedPrompt prompt;
  RecordingShell shell;
  FakeWorkingFolder workingFolder{cwd.path()};
  StartupOptions options;

  StartupRig() { options.programFolder = "/opt/parvolin/bin"; }
  StartupResult run() { return runStartup(options, {&link, store, prompt, shell, workingFolder}); }
};

TEST(Startup, WithoutUnitsWritesUsnMinusOneDefaultsAndEntersTheFolder) {
  StartupRig rig;
  const StartupResult r = rig.run();
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.unitNumber, -1);
  ASSERT_FALSE(rig.store.writes.empty());
  EXPECT_EQ(rig.store.writes.front(), "USN");
  EXPECT_EQ(rig.store.getIntOr("USN", 0), -1);
  // USN, then every setting's default.
  EXPECT_EQ(rig.store.writes.size(), 1 + engine::kSettings.size());
  const auto folder = rig.cwd / "ZEruFolder";
  EXPECT_EQ(r.recordingFolder, folder);
  EXPECT_EQ(rig.workingFolder.current(), folder);
  EXPECT_EQ(r.shownFolder, folder.string());
  EXPECT_TRUE(rig.prompt.shown.empty());
  EXPECT_EQ(rig.shell.calls, std::vector<std::string>{"register /opt/parvolin/bin"});
}

TEST(Startup, WebServerStartedOnlyWhenAllowedOnTheRunsFolderAndSettings) {
  for (const int allowed : {0, 1}) {
    StartupRig rig;
    rig.store.values["bLvSvrAllowed"] = allowed;
    ASSERT_TRUE(rig.run().ok);
    EXPECT_EQ(rig.shell.calls.size(), allowed ? 2u : 1u);
    if (allowed) {
      EXPECT_EQ(rig.shell.calls.back(),
                "start /opt/parvolin/bin/lvsvr --folder " + (rig.cwd / "ZEruFolder").string());
    }
  }
  StartupRig configured;
  configured.store.values["bLvSvrAllowed"] = 1;
  configured.options.configFile = "/etc/parvolin/p.conf";
  configured.options.folderOverride = configured.cwd / "rec";
  ASSERT_TRUE(configured.run().ok);
  EXPECT_EQ(configured.shell.calls.back(), "start /opt/parvolin/bin/lvsvr --folder " +
                                               (configured.cwd / "rec").string() +
                                               " --config /etc/parvolin/p.conf");
}

TEST(Startup, MissingFolderIsCreatedOneThatCannotBeMadeIsReported) {
  StartupRig rig;
  const auto wanted = rig.cwd / "deep" / "er";
  rig.store.values["ParvolinPath"] = wanted.string();
  EXPECT_EQ(rig.run().recordingFolder, wanted);

  StartupRig blocked;
  const auto file = blocked.cwd / "plain-file";
  std::ofstream(file) << "x";
  blocked.store.values["ParvolinPath"] = (file / "sub").string();
  const StartupResult r = blocked.run();
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(blocked.prompt.shown.size(), 1u);
  EXPECT_EQ(blocked.prompt.shown[0].text,
            "Fail to locate the directory at: " + (file / "sub").string() +
                "\nPlease reconfigure the location of ZEruFolder "
                "folder!");
  // Recording goes on in the directory that stayed current.
  EXPECT_EQ(r.recordingFolder, blocked.cwd.path());
}

TEST(Startup, FolderOverrideIsUsedAndTheStoredFolderLeftAlone) {
  StartupRig rig;
  const auto dir = rig.cwd / "demo" / "ZEruFolder";
  rig.options.folderOverride = dir;
  const StartupResult r = rig.run();
  EXPECT_EQ(r.recordingFolder, dir);
  EXPECT_EQ(r.shownFolder, dir.string());
  EXPECT_EQ(rig.store.getStringOr("ParvolinPath", ""), (rig.cwd / "ZEruFolder").string());
  EXPECT_FALSE(std::filesystem::exists(rig.cwd / "ZEruFolder"));
}

TEST(Startup, ReplayOnlyReadsAndStartsNothing) {
  StartupRig rig;
  rig.options.mode = StartupMode::Replay;
  rig.options.folderOverride = rig.cwd / "out";
  const StartupResult r = rig.run();
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(rig.store.writes.empty());
  EXPECT_TRUE(rig.shell.calls.empty());
  EXPECT_TRUE(std::filesystem::is_directory(rig.cwd / "out"));
  EXPECT_EQ(r.settings.parvolinSetting, 44u);
}

TEST(Startup, UnitsOpenedBeforeAFailingOneAreClosedAgain) {
  TempFolder cwd;
  base::VirtualClock clock;
  sim::SimD2xx units(clock);
  for (const char* serial : {"PV0001", "PV0002"}) {
    sim::UnitConfig config;
    config.serial = serial;
    units.addUnit(config);
  }
  test::ScriptedD2xx d2xx(units);
  d2xx.failWhen(
      test::ScriptedD2xx::Call::kOpen,
      [](const auto& open) {
        return std::string(open.bytes.begin(), open.bytes.end()) == "PV0002";
      },
      device::D2xx::kDeviceNotOpened);
  device::UnitLink link(d2xx, clock);
  settings::MemorySettingsStore store;
  test::ScriptedPrompt prompt;
  RecordingShell shell;
  FakeWorkingFolder workingFolder(cwd.path());
  const StartupResult r = runStartup({}, {&link, store, prompt, shell, workingFolder});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.unitNumber, -1);
  EXPECT_FALSE(link.isPresent(0));
  // The first unit opens again, as the main window needs it to.
  device::D2xx::Handle handle = 0;
  EXPECT_EQ(units.openBySerial("PV0001", handle), device::D2xx::kOk);
}

}  // namespace
}  // namespace parvolin::app
