// The engine on emulated units, on the virtual clock: the reads a recorder makes, end to end.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/capture_replay.h"
#include "engine_harness.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "sim_engine_run.h"
#include "support/collecting_diagnostics.h"
#include "support/expect_ok.h"
#include "support/scripted_prompt.h"
#include "tools/sim_units.h"

namespace parvolin::engine::test {
namespace {

RecorderSettings simRunSettings() {
  RecorderSettings settings;
  settings.parvolinSetting = kLvFormat | kKeepShortCalls;
  return settings;
}

class SimRun : public SimEngineRun {
 public:
  explicit SimRun(const std::string& scenarioText) : SimEngineRun(scenarioText, simRunSettings()) {}
  // Poll ticks until `ms` of scenario time have passed.
  void runUntil(std::int64_t ms) {
    while (elapsedMs() < ms) {
      clock.advanceMs(nextTick_ - clock.monotonicMs());
      nextTick_ += setUp.pollPeriodMs;
      engine->onPollTick();
    }
  }
  std::uint64_t blocksInRecordings() const {
    std::uint64_t blocks = 0;
    for (const auto& [name, data] : folderContents(folder.path())) {
      if (name.ends_with(".LV3")) blocks += data.size() / 512;
    }
    return blocks;
  }

 private:
  std::int64_t nextTick_ = 0;
};

TEST(EngineOnEmulatedUnits, SixteenPortsOfFullRateAudioForTenMinutesLoseNoBlock) {
  std::string text;
  for (int u = 1; u <= 4; ++u) text += "unit U" + std::to_string(u) + " mode=3\n";
  for (int u = 1; u <= 4; ++u) {
    for (int p = 1; p <= 4; ++p) {
      const std::string port = std::to_string(u) + "/" + std::to_string(p);
      text += "0.2 " + port + " callerid A 5550" + std::to_string(u) + std::to_string(p) + "\n";
      text += "0.3 " + port + " answer\n0.4 " + port + " talk 600 silence\n";
      text += "600.5 " + port + " callend 555\n";
    }
  }
  SimRun run(text);
  ASSERT_EQ(run.setUp.pollPeriodMs, 65);
  run.runUntil(602'000);
  std::uint64_t sent = 0;
  for (std::size_t u = 0; u < 4; ++u) {
    EXPECT_EQ(run.d2xx().unit(u).droppedRecords(), 0u) << "unit " << u;
    sent += run.d2xx().unit(u).audioBlocksQueued();
  }
  EXPECT_GT(sent, 16u * 600 * 15);
  EXPECT_EQ(run.blocksInRecordings(), sent);
  CallLogContents log;
  ASSERT_WORKED(readCallLog(run.folder / kCallLogName, log));
  EXPECT_EQ(log.records.size(), 16u);
  EXPECT_TRUE(std::all_of(log.records.begin(), log.records.end(), [](const CallRecord& r) {
    return r.callType == 3 && r.durationSec == 600;
  }));
}

TEST(EngineOnEmulatedUnits, UnitUnpluggedMidCallIsReopenedAndLaterCallsAreRecorded) {
  SimRun run(
      "unit A1\n"
      "0.2 1/1 answer\n0.3 1/1 talk 10\n"
      "3 1 unplug\n5 1 replug\n"
      "12 1/2 ring\n12.5 1/2 answer\n13 1/2 talk 3\n16.5 1/2 callend 777\n");
  run.runUntil(4'000);
  EXPECT_EQ(run.diagnostics.lines.size(), 1u) << "lost";
  run.runUntil(20'000);
  EXPECT_NE(
      std::find(run.diagnostics.lines.begin(), run.diagnostics.lines.end(), "Unit1: open again"),
      run.diagnostics.lines.end());
  CallLogContents log;
  ASSERT_WORKED(readCallLog(run.folder / kCallLogName, log));
  ASSERT_FALSE(log.records.empty());
  const CallRecord& last = log.records.back();
  EXPECT_EQ(last.portIndex, 1);
  EXPECT_EQ(last.callType, 7);
  const std::string name = recordingFileName(last.startTime, 1, 3, false);
  EXPECT_GE(readFile(run.folder / name).size(), 40u * 512) << "about 3 s of audio";
}

TEST(EngineOnEmulatedUnits, CaptureReplaysIntoTheSameFolderByteForByte) {
  UtcZone utc;
  SimRun run(
      "unit A1\nunit B1 varports=0x5C\n"
      "random all seed=11 until=150\n");
  TempFolder captureFolder;
  const auto capturePath = captureFolder / "sim-run.pvcap";
  std::error_code error;
  auto writer = CaptureWriter::create(capturePath, run.setUp.header, run.diagnostics, error);
  ASSERT_TRUE(writer);
  run.engine->setCapture(writer.get());
  run.runUntil(180'000);
  run.engine->finishRun();
  run.engine->setCapture(nullptr);
  writer.reset();
  CallLogContents log;
  ASSERT_WORKED(readCallLog(run.folder / kCallLogName, log));
  EXPECT_GE(log.records.size(), 3u);

  TempFolder replayed;
  const ReplayOutcome outcome =
      replayInto(capturePath, replayed.path(), kLvFormat | kKeepShortCalls);
  ASSERT_EQ(outcome.result, ReplayResult::kReplayed);
  EXPECT_EQ(folderContents(replayed.path()), folderContents(run.folder.path()));
}

}  // namespace
}  // namespace parvolin::engine::test
