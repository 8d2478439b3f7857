// Runs the built parvolin recorder on emulated units, each run with its own HOME, XDG folders,
// working directory and --config, so that nothing of the machine's own is touched.

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <set>

#include "base/folder_lock.h"
#include "device/stream_record.h"
#include "e2e/headless_recorder.h"
#include "e2e/run_program.h"
#include "engine/call_record.h"
#include "engine/recording_files.h"
#include "engine/stream_capture.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;
using parvolin::test::TempFolder;

// Three calls on two units: an answered incoming call with audio on port 2, an outgoing call
// with audio on port 5 and a call that only rang on port 4.
constexpr const char* kThreeCalls = R"(unit PV0001 number=0x1234
unit PV0002
1.0 1/2 ring
1.5 1/2 callerid A 5551234
3.0 1/2 answer
3.2 1/2 talk 4
8.0 1/2 callend 5551234
2.0 2/1 dialout 0123456
5.0 2/1 talk 10
16.0 2/1 calloutend 0123456
4.0 1/4 ring
6.0 1/4 callend
)";

// Blocks of audio that `seconds` of mode-3 audio make (512 samples a block), give or take one.
void expectAudioBlocks(const std::filesystem::path& file, double seconds) {
  const auto size = std::filesystem::file_size(file);
  EXPECT_EQ(size % 512, 0u) << file;
  const double blocks = seconds * 8000 / 512;
  EXPECT_NEAR(static_cast<double>(size / 512), blocks, 1.5) << file;
}

TEST_F(HeadlessRecorder, VirtualScenarioLeavesExactlyItsCallsAndReplaysTheSame) {
  const auto scenario = writeScenario("calls.scn", kThreeCalls);
  const auto folder = work() / "rec";
  const auto config = work() / "Parvolin.conf";
  ASSERT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
                 config.string(), "--folder", "rec", "--capture", "calls.pvcap"}),
            0)
      << errors_;
  EXPECT_NE(output_.find("Scenario over; units closed."), std::string::npos) << output_;
  EXPECT_NE(output_.find(" Port:  2          Recording"), std::string::npos);
  EXPECT_EQ(output_.find("---------"), std::string::npos) << "the two recording lines are one";

  const auto log = callLog(folder);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].portIndex, 3);
  EXPECT_EQ(log[0].callType, 6);
  EXPECT_EQ(log[0].firstAudioSec, 0);
  EXPECT_EQ(log[1].portIndex, 1);
  EXPECT_EQ(log[1].callType, 3);
  EXPECT_EQ(log[1].text().substr(0, 7), "5551234");
  EXPECT_EQ(log[2].portIndex, 4);
  EXPECT_EQ(log[2].callType, 9);
  EXPECT_EQ(log[2].text().substr(0, 7), "0123456");
  EXPECT_NEAR(log[2].durationSec, 14, 1);

  const std::string incoming = engine::recordingFileName(log[1].startTime, 1, 3, false);
  const std::string outgoing = engine::recordingFileName(log[2].startTime, 4, 3, false);
  EXPECT_EQ(filesIn(folder),
            (std::set<std::string>{"ParvolinLog.ZERU", "ZEruTestNew.htm", incoming, outgoing}));
  expectAudioBlocks(folder / incoming, 4);
  expectAudioBlocks(folder / outgoing, 10);
  const std::string html = ProgramRun::readAll(folder / "ZEruTestNew.htm");
  EXPECT_EQ(count(html, "<tr><td>"), 3u);
  EXPECT_EQ(count(html, incoming), 1u);
  EXPECT_EQ(count(html, outgoing), 1u);
  EXPECT_NE(html.find("Un-Answered"), std::string::npos);

  // First start: the nine defaults and the first unit's number are in the store; the stored
  // folder was not created, since --folder took its place.
  const std::string stored = ProgramRun::readAll(config);
  for (const char* line :
       {"ParvolinSetting=44", "UItemNoLimitSetting=2000", "USpaceLimitSetting=500",
        "bAutoRefresh=1", "bLvSvrAllowed=0", "LvLogHtmlName=ZEruTestNew.htm", "LvUsername=ZORUZIVA",
        "LvPassword=ZORUZIVA", "USN=4660"}) {
    EXPECT_NE(stored.find(line), std::string::npos) << line << "\n" << stored;
  }
  EXPECT_NE(stored.find("ParvolinPath=" + (work() / "ZEruFolder").string()), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(work() / "ZEruFolder"));
  EXPECT_TRUE(std::filesystem::exists(home() / "data/applications/parvolin-lvplayer.desktop"));

  // The capture replays into another folder with the same files, and writes no settings.
  const auto replayConfig = work() / "untouched.conf";
  ASSERT_EQ(
      run({"--replay", "calls.pvcap", "--folder", "again", "--config", replayConfig.string()}), 0)
      << errors_;
  EXPECT_FALSE(std::filesystem::exists(replayConfig));
  EXPECT_EQ(filesIn(work() / "again"), filesIn(folder));
  for (const auto& name : filesIn(folder)) {
    EXPECT_EQ(ProgramRun::readAll(work() / "again" / name), ProgramRun::readAll(folder / name))
        << name;
  }
}

// Whoever reads the port lines may go away (a closed pipe); the recorder goes on recording.
TEST_F(HeadlessRecorder, ClosedOutputPipeDoesNotStopTheRecording) {
  const auto scenario = writeScenario("pipe.scn",
                                      "unit PV0001\n"
                                      "1 1/1 ring\n"
                                      "2 1/1 answer\n"
                                      "2 1/1 talk 3\n"
                                      "5 1/1 callend 5551234\n");
  ProgramRun recorder(kParvolin,
                      {"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
                       (work() / "p.conf").string(), "--folder", "rec"},
                      env(), work(), {}, root_ / "err.txt");
  ASSERT_TRUE(recorder.started());
  EXPECT_EQ(recorder.wait(), 0) << recorder.errors();
  EXPECT_EQ(callLog(work() / "rec").size(), 1u);
}

TEST_F(HeadlessRecorder, SignalMidCallKeepsTheCallsAudioWithoutLoggingIt) {
  const auto scenario = writeScenario("long.scn",
                                      "unit PV0001\n"
                                      "0.3 1/1 varstart\n"
                                      "0.4 1/1 talk 120\n"
                                      "121 1/1 varend 5551234\n");
  const auto capture = work() / "run.pvcap";
  auto recorder =
      start({"--headless", "--simulate=" + scenario.string(), "--config",
             (work() / "p.conf").string(), "--folder", "rec", "--capture", capture.string()});
  ASSERT_TRUE(recorder->started());
  ASSERT_TRUE(recorder->waitForOutput("Recording", 20s))
      << recorder->output() << recorder->errors();
  // The capture holds what the recorder has read: a second of the call's audio, then the signal.
  constexpr std::uint64_t kAudioRecord = device::kRecordHeaderSize + device::kAudioBlockSize;
  ASSERT_TRUE(waitUntil(
      [&] { return engine::checkCapture(capture).summary.streamBytes >= 16 * kAudioRecord; }, 30s))
      << recorder->output() << recorder->errors();
  recorder->signal(SIGTERM);
  EXPECT_EQ(recorder->wait(), 0) << recorder->errors();
  EXPECT_NE(recorder->output().find("Stopped by a signal; units closed."), std::string::npos);

  const auto folder = work() / "rec";
  std::vector<std::string> audio;
  for (const auto& name : filesIn(folder)) {
    if (name.rfind("w", 0) == 0) audio.push_back(name);
  }
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_NE(audio[0].find("p0.LV3"), std::string::npos);
  const auto size = std::filesystem::file_size(folder / audio[0]);
  EXPECT_GT(size, 512u * 10) << "the buffered audio of the call in progress was written";
  EXPECT_EQ(size % 512, 0u);
  EXPECT_TRUE(callLog(folder).empty());
  EXPECT_EQ(count(ProgramRun::readAll(folder / "ZEruTestNew.htm"), "<tr><td>"), 0u);
}

TEST_F(HeadlessRecorder, FirstStartWithoutConfigUsesTheUsersStoreAndDefaultFolder) {
  const auto scenario = writeScenario("idle.scn", "unit PV0001 number=7\n");
  ASSERT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual"}), 0) << errors_;
  EXPECT_TRUE(std::filesystem::is_directory(work() / "ZEruFolder"));
  const std::string stored =
      ProgramRun::readAll(home() / "config" / "ParvolinUsb" / "Parvolin.conf");
  EXPECT_NE(stored.find("[Parvolin]"), std::string::npos);
  EXPECT_NE(stored.find("USN=7"), std::string::npos);
  EXPECT_NE(stored.find("ParvolinPath=" + (work() / "ZEruFolder").string()), std::string::npos);
}

TEST_F(HeadlessRecorder, ExitStatusesOfFailedStarts) {
  // A unit whose number cannot be read: the message, status 1, no setting written.
  const auto deaf = writeScenario("deaf.scn", "unit PV0001\n0 1 wrongack 100\n");
  const auto config = work() / "p.conf";
  EXPECT_EQ(run({"--headless", "--simulate=" + deaf.string(), "--virtual", "--config",
                 config.string(), "--folder", "rec"}),
            1);
  EXPECT_NE(errors_.find("Failed to read from Parvolin, quit and try again!"), std::string::npos)
      << errors_;
  EXPECT_FALSE(std::filesystem::exists(config));

  // A capture that is not one is refused before anything is made.
  std::ofstream(work() / "bad.pvcap") << "NOTACAPTURE-----------------------------";
  EXPECT_EQ(run({"--replay", "bad.pvcap", "--folder", "out"}), 2);
  EXPECT_NE(errors_.find("bad capture at byte 0"), std::string::npos) << errors_;
  EXPECT_FALSE(std::filesystem::exists(work() / "out"));

  // Refused combinations.
  EXPECT_EQ(run({"--replay", "x.pvcap"}), 2);
  EXPECT_EQ(run({"--replay", "x.pvcap", "--folder", "o", "--simulate"}), 2);
  EXPECT_EQ(run({"--simulate"}), 2) << "no window yet";
  EXPECT_NE(errors_.find("--headless"), std::string::npos);
}

}  // namespace
}  // namespace parvolin::e2e
