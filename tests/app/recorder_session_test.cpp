#include "app/recorder_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "device/unit_protocol.h"
#include "engine/engine.h"
#include "sim/sim_d2xx.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_d2xx.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::TempFolder;
namespace protocol = device::protocol;

// Writes of the frames whose command byte is `command` and, for the register command, whose code
// is `code` fail: the command then fails as a unit that stopped answering would make it fail.
void failFrames(test::ScriptedD2xx& d2xx, std::uint8_t command, std::uint8_t code) {
  d2xx.failWhen(test::ScriptedD2xx::Call::kWrite, [=](const test::ScriptedD2xx::Record& write) {
    const auto& frame = write.bytes;
    return frame.size() > 4 && frame[3] == command &&
           (command != protocol::kRegisterCommand || frame[4] == code);
  });
}

class ManualTimer final : public PollTimer {
 public:
  bool start(int periodMs) override {
    if (failStart) return false;
    period = periodMs;
    running = true;
    return true;
  }
  void stop() override { running = false; }
  bool failStart = false;
  bool running = false;
  int period = 0;
};

struct Rig {
  TempFolder folder;
  base::VirtualClock clock;
  sim::SimD2xx sim{clock};
  test::ScriptedD2xx d2xx{sim};
  device::UnitLink link{d2xx, clock};
  engine::RecorderSettings settings;
  engine::NullEngineView screen;
  WindowFields fields{screen};
  test::CollectingDiagnostics diagnostics;
  test::ScriptedPrompt prompt;
  ManualTimer timer;
  std::unique_ptr<engine::Engine> engine;
  std::unique_ptr<RecorderSession> session;

  using Tweak = std::function<void(int unit, sim::UnitConfig&)>;
  explicit Rig(int units, const Tweak& tweak = {}) {
    for (int u = 0; u < units; ++u) {
      sim::UnitConfig config;
      config.serial = "PV00" + std::to_string(u + 1);
      if (tweak) tweak(u, config);
      sim.addUnit(config);
    }
    settings.parvolinPath = folder.path().string();
    engine = std::make_unique<engine::Engine>(link, clock, settings, folder.path(), fields,
                                              diagnostics, prompt);
    session = std::make_unique<RecorderSession>(link, *engine, settings, fields, timer, prompt,
                                                folder.path().string());
  }
  sim::EmulatedUnit& unit(int u) { return sim.unit(static_cast<std::size_t>(u)); }
  std::vector<std::string> texts() const {
    std::vector<std::string> t;
    for (const auto& s : prompt.shown) t.push_back(s.text);
    return t;
  }
};

TEST(RecorderSession, PollPeriodFollowsTheUnitsPresent) {
  struct Case {
    int units;
    int period;
    int rows;
  };
  for (const Case c :
       {Case{0, 500, 1}, Case{1, 35, 1}, Case{2, 35, 2}, Case{3, 50, 3}, Case{4, 65, 4}}) {
    SCOPED_TRACE(c.units);
    Rig rig(c.units);
    EXPECT_EQ(rig.session->open(), RecorderSession::OpenResult::Running);
    EXPECT_TRUE(rig.timer.running);
    EXPECT_EQ(rig.timer.period, c.period);
    EXPECT_EQ(rig.session->visibleRows(), c.rows);
    EXPECT_TRUE(rig.prompt.shown.empty());
  }
  EXPECT_EQ(device::pollPeriodMs(true, false, true), 50);
}

TEST(RecorderSession, TwoUnitsShowIdleOnTheirPortsAndStream) {
  Rig rig(2);
  ASSERT_EQ(rig.session->open(), RecorderSession::OpenResult::Running);
  for (int p = 0; p < 16; ++p) {
    const std::string expected = p < 8 ? idleLine(p + 1) : noneLine(p + 1);
    EXPECT_EQ(rig.fields.statusText(p), expected);
    EXPECT_EQ(rig.fields.detailText(p), "");
  }
  EXPECT_EQ(rig.fields.statusText(0), " Port:  1            IDLE");
  EXPECT_EQ(rig.fields.statusText(15), " Port:  16            NONE");
  for (int u = 0; u < 2; ++u) EXPECT_EQ(rig.unit(u).streamControl(), 0x4D);
  EXPECT_EQ(rig.session->idleUnits(), (std::array<bool, 4>{true, true, false, false}));
  EXPECT_EQ(rig.session->setUpUnits(), (std::array<bool, 4>{true, true, false, false}));
}

TEST(RecorderSession, UnitSetUpReadsModeAndDelay) {
  struct Case {
    std::uint8_t mode;
    std::uint8_t delayCode;
    int delaySeconds;
    bool wavKept;
  };
  const Case cases[] = {
      {3, 0x52, 32, true},  {3, 0x07, 12, true}, {3, 0x50, 4, true},
      {3, 0x53, 100, true}, {3, 0x54, 0, true},  {2, 0x51, 12, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.mode) << " " << int(c.delayCode));
    Rig rig(2, [&](int unit, sim::UnitConfig& config) {
      if (unit != 1) return;
      config.registers.audioMode = c.mode;
      config.registers.varTurnOffDelay = c.delayCode;
    });
    rig.settings.parvolinSetting = engine::kWavFormat;
    ASSERT_EQ(rig.session->open(), RecorderSession::OpenResult::Running);
    EXPECT_EQ(rig.engine->audioMode(1), c.mode);
    EXPECT_EQ(rig.engine->varOffDelay(1), c.delaySeconds);
    EXPECT_EQ(rig.engine->varOffDelay(0), 12);
    EXPECT_EQ(rig.settings.has(engine::kWavFormat), c.wavKept);
    EXPECT_TRUE(rig.settings.has(engine::kHtmlListOn));
  }
}

TEST(RecorderSession, EachFailingCommandStopsTheSetUpWithItsMessage) {
  struct Case {
    std::uint8_t command, code;
    const char* message;
    base::PromptIcon icon;
    bool modeRead;
  };
  const Case cases[] = {
      {protocol::kRegisterCommand, protocol::kEncoderModeRegister | protocol::kReadFlag,
       "Failed to read EncoderMode, quit and try again!", base::PromptIcon::None, false},
      {protocol::kVersionCommand, 0, "ERROR: Failed to get Orvane version!",
       base::PromptIcon::Exclamation, true},
      {protocol::kRegisterCommand, protocol::kVarTurnOffDelayRegister | protocol::kReadFlag,
       "Failed to read VAR mode Turn Off Delay. Quit and retry please!", base::PromptIcon::None,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Rig rig(2);
    failFrames(rig.d2xx, c.command, c.code);
    EXPECT_EQ(rig.session->open(), RecorderSession::OpenResult::SetUpFailed);
    ASSERT_EQ(rig.prompt.shown.size(), 1u);
    EXPECT_EQ(rig.prompt.shown[0].text, c.message);
    EXPECT_EQ(rig.prompt.shown[0].icon, c.icon);
    // The timer runs; the second unit was never reached; the window keeps every row.
    EXPECT_TRUE(rig.timer.running);
    EXPECT_EQ(rig.fields.statusText(4), noneLine(5));
    EXPECT_EQ(rig.unit(0).streamControl(), 0);
    EXPECT_EQ(rig.session->visibleRows(), 4);
    EXPECT_EQ(rig.session->setUpUnits()[0], c.modeRead);
  }
}

TEST(RecorderSession, VersionWithoutAcknowledgeFailsTheSetUp) {
  Rig rig(1);
  rig.unit(0).setVersionByte(0, 0xB4);
  EXPECT_EQ(rig.session->open(), RecorderSession::OpenResult::SetUpFailed);
  EXPECT_EQ(rig.texts(), std::vector<std::string>{"ERROR: Failed to get Orvane version!"});
}

TEST(RecorderSession, TimerThatCannotStartStopsTheOpening) {
  Rig rig(1);
  rig.timer.failStart = true;
  EXPECT_EQ(rig.session->open(), RecorderSession::OpenResult::NoTimer);
  EXPECT_EQ(rig.texts(), std::vector<std::string>{"Set timer error!"});
  EXPECT_EQ(rig.unit(0).streamControl(), 0);
}

TEST(RecorderSession, ExitAsksOnlyWhenTheFirstUnitWasSetUp) {
  {
    Rig rig(0);
    rig.session->open();
    EXPECT_TRUE(rig.session->exitRecorder(RecorderSession::ExitQuestion::Ask));
    EXPECT_TRUE(rig.prompt.shown.empty());
    EXPECT_FALSE(rig.timer.running);
  }
  {
    Rig rig(1);
    rig.session->open();
    rig.prompt.answers = {false};
    EXPECT_FALSE(rig.session->exitRecorder(RecorderSession::ExitQuestion::Ask));
    EXPECT_EQ(rig.texts(), std::vector<std::string>{"Do you really want to exit?"});
    EXPECT_TRUE(rig.timer.running);
    EXPECT_EQ(rig.unit(0).streamControl(), 0x4D);
    EXPECT_TRUE(rig.link.isPresent(0));

    rig.prompt.answers = {true};
    EXPECT_TRUE(rig.session->exitRecorder(RecorderSession::ExitQuestion::Ask));
    EXPECT_FALSE(rig.timer.running);
    EXPECT_EQ(rig.unit(0).streamControl(), 0);
    EXPECT_FALSE(rig.link.isPresent(0));
  }
}

TEST(RecorderSession, ExitStopsStreamsFromUnit4DownAndDeletesTheSearchResult) {
  Rig rig(2);
  rig.settings.lvLogHtmlName = "ZEruTestNew.htm";
  rig.session->open();
  std::ofstream(rig.folder / "ZEruTestNewFind.htm") << "result";
  std::ofstream(rig.folder / "ZEruTestNew.htm") << "list";
  rig.d2xx.log.clear();
  ASSERT_TRUE(rig.session->exitRecorder(RecorderSession::ExitQuestion::DontAsk));
  // Stream reads go to units 4, 3, 2, 1, present or not; the two streaming units get the stop.
  std::vector<std::uint8_t> reads;
  for (const auto& f : rig.d2xx.writes()) {
    if (f.size() == 6 && f[3] == protocol::kStreamControlCommand) reads.push_back(f[4]);
  }
  EXPECT_EQ(reads, (std::vector<std::uint8_t>{0x80, 0x80, 0x80, 0x00, 0x80, 0x00}));
  EXPECT_FALSE(std::filesystem::exists(rig.folder / "ZEruTestNewFind.htm"));
  EXPECT_TRUE(std::filesystem::exists(rig.folder / "ZEruTestNew.htm"));
}

// The result deleted is the log viewer's own, whatever the list is called, and in the folder
// the list is in now; the list itself never goes.
TEST(RecorderSession, ExitDeletesTheSearchResultTheLogViewerWrites) {
  struct Case {
    std::string listName;
    std::string resultName;
  };
  for (const Case& c : std::vector<Case>{{"calls.txt", "calls.txtFind.htm"},
                                         {"a.htm.htm", "aFind.htmFind.htm"},
                                         {"list.html", "listFind.html"}}) {
    Rig rig(0);
    rig.settings.lvLogHtmlName = c.listName;
    rig.session->open();
    std::ofstream(rig.folder / c.listName) << "list";
    std::ofstream(rig.folder / c.resultName) << "result";
    rig.session->exitRecorder(RecorderSession::ExitQuestion::DontAsk);
    EXPECT_TRUE(std::filesystem::exists(rig.folder / c.listName)) << c.listName;
    EXPECT_FALSE(std::filesystem::exists(rig.folder / c.resultName)) << c.listName;
  }
  Rig moved(0);
  moved.session->open();
  std::filesystem::create_directory(moved.folder / "new");
  moved.engine->setFolder(moved.folder / "new");
  std::ofstream(moved.folder / "new" / "ZEruTestNewFind.htm") << "result";
  moved.session->exitRecorder(RecorderSession::ExitQuestion::DontAsk);
  EXPECT_FALSE(std::filesystem::exists(moved.folder / "new" / "ZEruTestNewFind.htm"));
}

TEST(RecorderSession, LocationLineIsRightAlignedTo80Columns) {
  const std::string shortLine = makeLocationLine("/rec");
  EXPECT_EQ(shortLine.size(), 80u);
  EXPECT_EQ(shortLine.substr(0, 20), "Logging Location:   ");
  EXPECT_EQ(shortLine.substr(76), "/rec");
  EXPECT_EQ(shortLine.find_first_not_of(' ', 20), 76u);
  const std::string path60 = "/" + std::string(59, 'p');
  EXPECT_EQ(makeLocationLine(path60).size(), 81u);
  EXPECT_EQ(makeLocationLine(path60), "Logging Location:    " + path60);
}

TEST(RecorderSession, ConfigureRefreshRebuildsTheLocationLine) {
  Rig rig(0);
  rig.session->open();
  EXPECT_EQ(rig.fields.locationLine, makeLocationLine(rig.folder.path().string()));
  rig.settings.parvolinPath = "/elsewhere";
  rig.session->refreshAfterConfigure();
  EXPECT_EQ(rig.fields.locationLine, makeLocationLine("/elsewhere"));
  EXPECT_FALSE(rig.fields.capacity().itemsText.empty());
}

}  // namespace
}  // namespace parvolin::app
