#include "app/recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/settings_io.h"
#include "base/clock.h"
#include "base/folder_lock.h"
#include "codec/call_wav.h"
#include "engine/call_log.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/expect_ok.h"
#include "support/recorder_run.h"
#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::readFile;
using test::TempFolder;
namespace fs = std::filesystem;

using test::RecorderRun;

constexpr const char* kTwoUnits =
    "unit A1 number=0x01020304\n"
    "unit A2 mode=2 offdelay=0x52\n"
    "1 1/1 ring\n"
    "+0.5 1/1 answer\n"
    "+0 1/1 talk 2 silence\n"
    "+2 1/1 callend 5551234\n";

constexpr const char* kTwoUnitsInModeThree =
    "unit A1\n"
    "unit A2\n"
    "1 1/1 ring\n"
    "+0.5 1/1 answer\n"
    "+0 1/1 talk 2 silence\n"
    "+2 1/1 callend 5551234\n";

TEST(Recorder, RunsAWholeCallFromStartToExit) {
  RecorderRun run(kTwoUnits);
  EXPECT_FALSE(run.recorder->unitsFound()) << "before the opening";
  run.open();
  EXPECT_TRUE(run.recorder->unitsFound());
  EXPECT_EQ(run.recorder->unitNumber(), 0x01020304);
  EXPECT_EQ(run.store.getIntOr("USN", 0), 0x01020304);
  EXPECT_EQ(run.recorder->recordingFolder(), run.rec());
  EXPECT_EQ(run.timer.period, 35);
  EXPECT_EQ(run.recorder->pollPeriodMs(), 35);
  EXPECT_EQ(run.recorder->visibleRows(), 2);
  EXPECT_EQ(run.recorder->fields().locationLine, makeLocationLine(run.rec().string()));

  const RecorderUnit second = run.recorder->unit(1);
  EXPECT_TRUE(second.listed && second.present && second.idle && second.setUp);
  EXPECT_EQ(second.audioMode, 2);
  EXPECT_EQ(second.varOffDelaySec, 32);
  EXPECT_FALSE(run.recorder->unit(2).listed);
  EXPECT_FALSE(run.recorder->settings().has(engine::kWavFormat)) << "mode 2 rules WAV out";

  run.tickUntil(5);
  EXPECT_EQ(run.screen.lastStatus[0], " Port:  1         Answered ");
  EXPECT_EQ(run.recorder->fields().statusText(0), " Port:  1         Answered ");
  EXPECT_EQ(run.screen.items, "Logged Items: 1 / 2000 ");
  EXPECT_TRUE(fs::exists(run.recorder->listPath()));
  EXPECT_EQ(fs::file_size(run.rec() / engine::kCallLogName), 32u);

  EXPECT_TRUE(run.recorder->asksBeforeExit());
  run.prompt.answers = {false};
  EXPECT_FALSE(run.recorder->exit(RecorderSession::ExitQuestion::Ask));
  EXPECT_TRUE(run.timer.running);
  run.prompt.answers = {true};
  EXPECT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::Ask));
  EXPECT_FALSE(run.timer.running);
  EXPECT_FALSE(run.recorder->unit(0).present);
  EXPECT_EQ(run.d2xx->unit(0).streamControl(), 0);
}

TEST(Recorder, WithoutUnitsPollsSlowlyAndExitsWithoutAsking) {
  RecorderRun run("");
  run.open();
  EXPECT_FALSE(run.recorder->unitsFound());
  EXPECT_EQ(run.timer.period, 500);
  EXPECT_EQ(run.recorder->visibleRows(), 1);
  EXPECT_EQ(run.recorder->unitNumber(), -1);
  EXPECT_FALSE(run.recorder->asksBeforeExit());
  EXPECT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::Ask));
  EXPECT_TRUE(run.prompt.shown.empty());
}

TEST(Recorder, ListEditIsAppliedByTheNextTickAndItsRequesterTold) {
  RecorderRun run(kTwoUnits);
  run.open();
  run.tickUntil(5);
  const std::string list = readFile(run.recorder->listPath());
  const std::string row = list.substr(engine::kHtmlHeaderSize);
  std::vector<bool> told;
  run.recorder->requestListEdit(
      {row, "", false}, [&](const engine::ListEditResult& r) { told.push_back(r.applied); });
  EXPECT_TRUE(run.recorder->listEditPending());
  EXPECT_TRUE(told.empty());
  run.recorder->tick();
  EXPECT_FALSE(run.recorder->listEditPending());
  EXPECT_EQ(told, std::vector<bool>{true});
  EXPECT_FALSE(fs::exists(run.recorder->listPath())) << "an emptied list is deleted";
  EXPECT_EQ(run.screen.items, "Logged Items: 0 / 2000 ");
}

// The configuration dialog changes the settings while the recorder runs: the next call follows
// them, and only the settings named are written.
TEST(Recorder, ChangedSettingsTakeEffectAtTheNextCall) {
  RecorderRun run(
      "unit A1\n"
      "1 1/1 dialout 123\n"
      "+0 1/1 talk 2 silence\n"
      "+2 1/1 calloutend 123\n"
      "10 1/1 dialout 456\n"
      "+0 1/1 talk 2 silence\n"
      "+2 1/1 calloutend 456\n");
  run.store.values["ParvolinSetting"] = std::int32_t(engine::kLvFormat | engine::kHtmlListOn);
  run.open();
  run.tickUntil(5);
  EXPECT_FALSE(fs::exists(run.rec() / engine::kCallLogName)) << "the short call is dropped";

  engine::RecorderSettings changed = run.recorder->settings();
  changed.parvolinSetting |= engine::kKeepShortCalls;
  changed.itemLimit = 10;
  run.store.writes.clear();
  run.recorder->applySettings(changed, {engine::Setting::kParvolinSetting});
  EXPECT_EQ(run.store.writes, std::vector<std::string>{"ParvolinSetting"});
  run.tickUntil(15);
  EXPECT_EQ(fs::file_size(run.rec() / engine::kCallLogName), 32u) << "the second call is kept";
  run.recorder->refreshAfterConfigure();
  EXPECT_EQ(run.screen.items, "Logged Items: 1 / 10 ");
}

TEST(Recorder, NewFolderTakesTheNextCallsWhileACallInProgressStaysWhereItBegan) {
  RecorderRun run(
      "unit A1\n"
      "1 1/1 ring\n"
      "+0.5 1/1 answer\n"
      "+0 1/1 talk 4 silence\n"
      "+4 1/1 callend 1\n"
      "2 1/2 ring\n"
      "+1 1/2 callend 2\n");
  run.store.values["ParvolinSetting"] =
      std::int32_t(engine::kWavFormat | engine::kKeepShortCalls | engine::kHtmlListOn);
  run.open();
  run.tickUntil(2);  // port 1's call has begun
  run.recorder->changeRecordingFolder(run.dir / "moved");
  EXPECT_EQ(run.workingFolder.current(), run.dir / "moved");
  EXPECT_EQ(run.recorder->recordingFolder(), run.dir / "moved");
  run.tickUntil(8);
  // Port 1's recording was begun in the old folder and ends there, converted to WAV.
  const auto old = run.files(run.rec());
  ASSERT_EQ(old.size(), 1u);
  EXPECT_EQ(readFile(run.rec() / old[0]).substr(0, 4), "RIFF");
  // Both calls ended after the move: their log records and rows are in the new folder.
  EXPECT_EQ(fs::file_size(run.dir / "moved" / engine::kCallLogName), 64u);
  EXPECT_TRUE(fs::exists(run.dir / "moved" / "ZEruTestNew.htm"));
}

TEST(Recorder, StartRecoversWhatAKilledRunLeftButNeverACallOfItsOwn) {
  RecorderRun run(
      "unit A1\n"
      "1 1/1 answer\n"
      "+0 1/1 talk 6 silence\n"
      "+6 1/1 callend 1\n");
  // A run killed mid-call left a second of port 4's audio, with no record or row.
  fs::create_directories(run.rec());
  const std::string lost = "w00000100p3.LV3";
  test::writeFile(run.rec() / lost, std::string(8000, '\x55'));
  run.open();
  const std::vector<std::string>& lines = run.diagnostics.lines;
  EXPECT_NE(std::find(lines.begin(), lines.end(), lost + ": recovered as a call of 1 s"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Recovery: 1 recording without record or row recovered"),
            lines.end());

  // Port 1's call goes on in the folder while the recorder moves away and back: its recording
  // is in use, not lost.
  run.tickUntil(3);
  run.recorder->changeRecordingFolder(run.dir / "moved");
  run.recorder->changeRecordingFolder(run.rec());
  run.tickUntil(12);
  const std::string list = readFile(run.rec() / "ZEruTestNew.htm");
  engine::CallLogContents contents;
  ASSERT_WORKED(engine::readCallLog(run.rec() / engine::kCallLogName, contents));
  const std::vector<engine::CallRecord>& log = contents.records;
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].startTime, 0x100u);
  EXPECT_EQ(log[1].text().substr(0, 1), "1") << "the call, logged once as it ended";
  std::size_t rows = 0;
  for (std::size_t at = list.find("<tr><td>"); at != std::string::npos;
       at = list.find("<tr><td>", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 2u);
}

TEST(Recorder, CaptureHoldsTheOpeningAndEveryReadUntilTheRecorderGoes) {
  RecorderRun run(kTwoUnits);
  run.open();
  const fs::path file = run.dir / "run.pvcap";
  ASSERT_WORKED(run.recorder->startCapture(file));
  const engine::CaptureHeader header = run.recorder->captureHeader();
  EXPECT_EQ(header.units[1].flags, engine::kUnitListed | engine::kUnitIdle | engine::kUnitSetUp);
  EXPECT_EQ(header.units[1].audioMode, 2);
  EXPECT_EQ(header.units[1].varOffDelay, 32);
  EXPECT_EQ(header.units[2].flags, 0);
  run.tickUntil(2);
  // Gone without the exit sequence (the window's close box): the capture is complete anyway.
  run.recorder.reset();
  const engine::CaptureCheck check = engine::checkCapture(file);
  EXPECT_FALSE(check.fault);
  EXPECT_FALSE(check.summary.cutShortAt);
  EXPECT_GT(check.summary.records, 0u);
}

// The one message a tick can raise: the call-end WAV conversion without memory. It is shown
// after the tick, through the prompt that does not wait, never inside the tick.
TEST(Recorder, AMessageRaisedInATickIsShownAfterIt) {
  RecorderOptions options;
  options.wavConversionMemoryLimit = 0;
  RecorderRun run(kTwoUnitsInModeThree, std::move(options));
  run.store.values["ParvolinSetting"] =
      std::int32_t(engine::kWavFormat | engine::kKeepShortCalls | engine::kHtmlListOn);
  run.open();
  // Showing the message lets the timer fire (a nested event loop would): that tick runs.
  int ticksFromTheMessage = 0;
  run.later.onMessage = [&] {
    const int skipped = run.recorder->skippedNestedTicks();
    run.recorder->tick();
    if (run.recorder->skippedNestedTicks() == skipped) ++ticksFromTheMessage;
  };
  run.tickUntil(6);
  EXPECT_TRUE(run.prompt.shown.empty());
  EXPECT_EQ(run.later.texts, std::vector<std::string>{std::string(codec::kCallWavNoMemoryText)});
  EXPECT_EQ(ticksFromTheMessage, 1);
  EXPECT_EQ(run.recorder->skippedNestedTicks(), 0);
  EXPECT_EQ(fs::file_size(run.rec() / engine::kCallLogName), 32u) << "the call is still logged";
}

// A nested event loop inside a tick (a unit read that let the timer fire) must not start a
// second tick inside the first.
TEST(Recorder, ATickIsNeverEnteredTwice) {
  RecorderRun run(kTwoUnits);
  run.open();
  int nestedAsked = 0;
  run.front->failWhen(test::ScriptedD2xx::Call::kRead, [&](const test::ScriptedD2xx::Record&) {
    if (nestedAsked < 3) {
      ++nestedAsked;
      run.recorder->tick();
    }
    return false;  // the read itself goes on
  });
  run.tickUntil(5);
  EXPECT_EQ(nestedAsked, 3);
  EXPECT_EQ(run.recorder->skippedNestedTicks(), 3);
  EXPECT_EQ(run.screen.items, "Logged Items: 1 / 2000 ") << "the call is recorded as ever";
}

// After the Exit button's sequence, a stop by a signal finds nothing left to do.
TEST(Recorder, ASecondExitDoesNothing) {
  RecorderRun run(kTwoUnits);
  run.open();
  ASSERT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::DontAsk));
  run.front->log.clear();
  EXPECT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::DontAsk));
  EXPECT_TRUE(run.front->log.empty());
  EXPECT_TRUE(run.recorder->exited());
}

TEST(Recorder, SecondRecorderOnAFolderTouchesNothingAndNamesTheFirst) {
  RecorderRun first(kTwoUnits);
  first.open();
  RecorderRun second("unit B1 number=7\n");
  second.store.values["ParvolinPath"] = first.rec().string();
  EXPECT_FALSE(second.recorder->start());
  ASSERT_EQ(second.prompt.shown.size(), 1u);
  EXPECT_NE(second.prompt.shown[0].text.find(first.rec().string() + " is in use by process " +
                                             std::to_string(::getpid()) + " (parvolin)"),
            std::string::npos)
      << second.prompt.shown[0].text;
  EXPECT_TRUE(second.store.writes.empty()) << "not even the unit number";
  EXPECT_TRUE(second.shell.calls.empty());
  // The first goes on recording; once it is gone, the folder is free.
  first.tickUntil(8);
  EXPECT_EQ(fs::file_size(first.rec() / engine::kCallLogName), 32u);
  first.recorder.reset();
  EXPECT_TRUE(second.recorder->start());
}

TEST(Recorder, FolderGivenOnTheCommandLineMustBeAFolder) {
  RecorderRun run("unit A1\n");
  test::writeFile(run.dir / "notes.txt", "not a folder");
  struct Case {
    fs::path folder;
    const char* problem;  // empty: usable
  };
  const Case cases[] = {
      {run.dir / "notes.txt", ": it is not a folder"},
      {run.dir / "notes.txt" / "under", ": it cannot be made: Not a directory"},
      {run.dir / "new" / "deeper", ""},
  };
  for (const Case& c : cases) {
    run.prompt.shown.clear();
    run.store.writes.clear();
    run.remake(RecorderOptions{c.folder, {}});
    const bool started = run.recorder->start();
    EXPECT_EQ(started, *c.problem == '\0') << c.folder;
    if (started) {
      EXPECT_TRUE(fs::is_directory(c.folder));
      EXPECT_EQ(run.recorder->recordingFolder(), c.folder);
      continue;
    }
    ASSERT_EQ(run.prompt.shown.size(), 1u);
    EXPECT_EQ(run.prompt.shown[0].text, "Cannot record into " + c.folder.string() + c.problem);
    EXPECT_TRUE(run.store.writes.empty());
  }
  EXPECT_EQ(test::readFile(run.dir / "notes.txt"), "not a folder");
}

TEST(Recorder, FolderHeldByAnotherIsNotTakenOverMidRun) {
  RecorderRun run(kTwoUnits);
  run.open();
  fs::create_directories(run.dir / "other");
  const base::FolderLock other = base::FolderLock::acquire(run.dir / "other", "pvtool");
  const FolderChange held = run.recorder->changeRecordingFolder(run.dir / "other");
  EXPECT_EQ(held.result, FolderChange::Result::kHeld);
  EXPECT_NE(held.heldBy.find("(pvtool)"), std::string::npos) << held.heldBy;
  EXPECT_EQ(run.recorder->recordingFolder(), run.rec());
  EXPECT_EQ(run.workingFolder.current(), run.rec());
  // A free folder is taken, and the old one let go.
  EXPECT_EQ(run.recorder->changeRecordingFolder(run.dir / "free").result,
            FolderChange::Result::kEntered);
  EXPECT_TRUE(base::FolderLock::acquire(run.rec()).held());
  EXPECT_EQ(base::FolderLock::acquire(run.dir / "free").status(), base::FolderLock::Status::kBusy);
}

TEST(Recorder, CaptureNeverReplacesAFileUnlessToldAndNeverTheFoldersOwn) {
  RecorderRun run(kTwoUnits);
  run.open();
  test::writeFile(run.dir / "old.pvcap", "an older capture");
  const auto refused = run.recorder->startCapture(run.dir / "old.pvcap");
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("exists (--force replaces it)"), std::string::npos);
  EXPECT_EQ(test::readFile(run.dir / "old.pvcap"), "an older capture");
  for (const char* own : {"ParvolinLog.ZERU", "ZEruTestNew.htm", "w499602D2p0.LV3"}) {
    const auto problem =
        run.recorder->startCapture(run.rec() / own, engine::ExistingFile::kReplace);
    ASSERT_TRUE(problem) << own;
    EXPECT_NE(problem->find("own files"), std::string::npos) << *problem;
    EXPECT_FALSE(fs::exists(run.rec() / own) && std::string(own) != "ZEruTestNew.htm") << own;
  }
  EXPECT_WORKED(run.recorder->startCapture(run.dir / "old.pvcap", engine::ExistingFile::kReplace));
  EXPECT_EQ(test::readFile(run.dir / "old.pvcap").substr(0, 8), "PVCAP001");
}

}  // namespace
}  // namespace parvolin::app
