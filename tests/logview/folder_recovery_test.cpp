#include "logview/folder_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/diagnostics.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"
#include "logview/list_builder.h"
#include "logview/list_rows.h"
#include "support/collecting_diagnostics.h"
#include "support/expect_ok.h"

namespace parvolin::logview {
namespace {

using engine::CallRecord;
using test::kMarch5;

constexpr char kList[] = "ZEruTestNew.htm";

CallRecord call(int port, std::uint32_t start, int seconds, std::string_view text = "5551234") {
  CallRecord r;
  r.portIndex = std::uint8_t(port - 1);
  r.callType = seconds < 0 ? engine::kCallRinging : engine::kCallAnswered;
  r.startTime = start;
  r.durationSec = std::uint16_t(seconds < 0 ? 0 : seconds);
  r.firstAudioSec = seconds < 0 ? 0 : 1;
  std::copy(text.begin(), text.end(), r.callText.begin());
  return r;
}

std::string recordingOf(const CallRecord& r, int mode = 3) {
  return engine::recordingFileName(r.startTime, r.portIndex, mode, false);
}

class FolderRecovery : public test::ListTest {
 protected:
  std::filesystem::path at(const std::string& name) const { return folder / name; }
  void log(std::initializer_list<CallRecord> records) {
    for (const CallRecord& r : records) ASSERT_WORKED(engine::appendCallLog(folder.path(), r));
  }
  // A recording of `seconds` of mode-`mode` audio for `r`.
  void record(const CallRecord& r, int mode = 3, std::size_t bytes = 0) {
    const std::size_t perSecond = mode == 1 ? 2000 : mode == 2 ? 3000 : 8000;
    test::writeFile(at(recordingOf(r, mode)),
                    std::string(bytes != 0 ? bytes : perSecond * r.durationSec, '\x55'));
  }
  // The list with these calls' rows, newest first, numbered down to 1.
  void list(std::initializer_list<CallRecord> newestFirst) {
    std::string file(engine::kHtmlHeader);
    int item = int(newestFirst.size());
    for (const CallRecord& r : newestFirst) file += engine::htmlRow(r, 3, false, item--);
    test::writeFile(at(kList), file);
  }
  std::vector<ListRow> rows() {
    listBytes_ = test::readFile(at(kList));
    return parseRows(listBody(listBytes_));
  }
  std::vector<CallRecord> logged() {
    engine::CallLogContents contents;
    EXPECT_WORKED(engine::readCallLog(at(engine::kCallLogName), contents));
    return contents.records;
  }
  std::map<std::string, std::string> everyFile() {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(folder.path())) {
      files[e.path().filename().string()] = test::readFile(e.path());
    }
    return files;
  }
  RecoveryReport recover(bool dryRun = false, bool rebuild = false) {
    RecoveryOptions options;
    options.dryRun = dryRun;
    options.rebuildList = rebuild;
    return recoverFolder(folder.path(), options);
  }

  std::string listBytes_;
};

TEST(RecordingSeconds, FollowTheModeOfTheNameAndTheWavHeader) {
  struct Case {
    const char* name;
    std::uint64_t bytes;
    bool riff;
    std::uint32_t seconds;
  } cases[] = {
      {"w00000010p0.LV0", 16000, false, 2},     {"w00000010p0.LV3", 16000, false, 2},
      {"w00000010p0.LV1", 6000, false, 3},      {"w00000010p0.LV2", 512 * 47, false, 8},
      {"w00000010p0.WAV", 44 + 24000, true, 3}, {"w00000010p0.WAV", 24000, false, 3},
      {"w00000010p0.LV3", 3999, false, 0},      {"w00000010p0.LV3", 4000, false, 1},
      {"w00000010p0.WAV", 20, true, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(recordingSeconds(c.name, c.bytes, c.riff), c.seconds) << c.name << " " << c.bytes;
  }
}

TEST_F(FolderRecovery, CrashLeavesRowsAndRecordsMissingAndRecoveryPutsThemBackOnce) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 3, -1),
                   c = call(3, kMarch5 + 4, 7);
  log({a, b});
  record(a);
  record(c);
  list({a});
  // Killed mid-call: a mode-1 recording of 3 s on port 4 and one of 2 s on port 16, neither
  // logged nor listed. The call on port 16 began in the second an unanswered one there ended.
  const CallRecord d = call(4, kMarch5 + 20, 3), e = call(16, kMarch5 + 10, 2);
  record(d, 1);
  record(e, 3);
  const CallRecord missed = call(16, kMarch5 + 10, -1);
  log({missed, c});

  const RecoveryReport report = recover();
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_EQ(report.rowsRestored, (std::vector<CallRecord>{b, missed, c}));
  ASSERT_EQ(report.callsRecovered.size(), 2u);
  EXPECT_EQ(report.callsRecovered[0].recording, recordingOf(e));  // by start time
  EXPECT_EQ(report.callsRecovered[1].recording, recordingOf(d, 1));

  const std::vector<ListRow> after = rows();
  ASSERT_EQ(after.size(), 6u);
  // Newest on top, numbered on: d, e (recovered), c, missed, b (logged), a.
  const std::vector<int> items = {6, 5, 4, 3, 2, 1};
  const std::vector<std::string> links = {recordingOf(d, 1), recordingOf(e), recordingOf(c), "", "",
                                          recordingOf(a)};
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].item, items[i]) << i;
    EXPECT_EQ(after[i].link, links[i]) << i;
  }
  EXPECT_EQ(after[0].trimmedText(), "recovered");
  EXPECT_EQ(after[0].durationSeconds(), 3) << "6000 bytes of mode 1";
  EXPECT_EQ(after[0].portNumber(), 4);
  EXPECT_EQ(after[1].portNumber(), 16);
  EXPECT_EQ(after[2].trimmedText(), "5551234");

  const std::vector<CallRecord> records = logged();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[4].startTime, e.startTime);
  EXPECT_EQ(records[4].text().substr(0, 9), "recovered");
  EXPECT_EQ(records[5].durationSec, 3);
  EXPECT_EQ(records[5].callType, engine::kCallAnswered);
  EXPECT_EQ(engine::whyNotARealCall(records[5]), "");

  // Everything is in place: a second recovery finds nothing and changes nothing.
  const auto files = everyFile();
  EXPECT_FALSE(recover().anythingFound());
  EXPECT_EQ(everyFile(), files);
}

TEST_F(FolderRecovery, RowsTheUserDeletedStayDeleted) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, 6),
                   c = call(3, kMarch5 + 20, 7);
  log({a, b, c});
  for (const CallRecord& r : {a, b, c}) record(r);
  list({c, a});  // b's row deleted in the file manager; its recording stays
  const auto files = everyFile();
  const RecoveryReport report = recover();
  EXPECT_FALSE(report.anythingFound()) << recoverySummary(report);
  EXPECT_EQ(everyFile(), files);
}

TEST_F(FolderRecovery, ListWhoseEveryRowWasDeletedStaysEmpty) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, -1);
  log({a, b});  // both calls deleted, their recording too: the call log keeps its records
  list({});
  const auto files = everyFile();
  EXPECT_FALSE(recover().anythingFound());
  EXPECT_EQ(everyFile(), files);
}

TEST_F(FolderRecovery, ListThatIsNotThereIsMadeFromTheLog) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, -1);
  log({a, b});
  record(a);
  EXPECT_EQ(recover().rowsRestored.size(), 2u);
  const std::vector<ListRow> after = rows();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_TRUE(listBytes_.starts_with(engine::kHtmlHeader));
  EXPECT_EQ(after[0].item, 2);
  EXPECT_EQ(after[0].duration, kUnanswered);
  EXPECT_EQ(after[1].link, recordingOf(a));
}

TEST_F(FolderRecovery, TornLogIsCutToWholeRecordsAndGoneRecordingsAreOnlyReported) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, 6);
  log({a, b});
  record(a);  // b's recording was deleted by hand
  list({b, a});
  std::string bytes = test::readFile(at(engine::kCallLogName));
  bytes += std::string(17, 'x');
  test::writeFile(at(engine::kCallLogName), bytes);
  const std::string listBefore = test::readFile(at(kList));

  const RecoveryReport dry = recover(/*dryRun=*/true);
  EXPECT_EQ(dry.tornLogBytes, 17u);
  EXPECT_EQ(test::readFile(at(engine::kCallLogName)).size(), 64u + 17u) << "a dry run cuts nothing";

  const RecoveryReport report = recover();
  EXPECT_EQ(report.tornLogBytes, 17u);
  EXPECT_EQ(report.missingRecordings, (std::vector<std::string>{recordingOf(b)}));
  EXPECT_TRUE(report.rowsRestored.empty());
  EXPECT_EQ(test::readFile(at(engine::kCallLogName)).size(), 64u);
  EXPECT_EQ(test::readFile(at(kList)), listBefore);
  const std::vector<std::string> lines = recoveryLines(report);
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                recordingOf(b) + ": in the list, but the recording is gone (the row is left)"),
      lines.end());
}

TEST_F(FolderRecovery, DryRunReportsWhatARealRunDoesAndChangesNothing) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, 6);
  log({a, b});
  record(a);
  record(b);
  list({a});
  record(call(5, kMarch5 + 30, 2));
  const auto files = everyFile();
  const RecoveryReport dry = recover(true);
  EXPECT_EQ(everyFile(), files);
  const RecoveryReport real = recover();
  EXPECT_EQ(dry.rowsRestored, real.rowsRestored);
  ASSERT_EQ(dry.callsRecovered.size(), 1u);
  EXPECT_EQ(dry.callsRecovered[0].record, real.callsRecovered[0].record);
  EXPECT_NE(recoveryLines(dry)[0].find("would be"), std::string::npos) << recoveryLines(dry)[0];
}

TEST_F(FolderRecovery, DamagedListIsLeftAloneUntilARebuildKeepsItBeside) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, -1);
  log({a, b});
  record(a);
  record(call(3, kMarch5 + 40, 4));  // killed mid-call
  const std::string damaged = "Dear all, the list was saved over by a letter.\n";
  test::writeFile(at(kList), damaged);
  const auto files = everyFile();

  const RecoveryReport left = recover();
  EXPECT_TRUE(left.listDamaged);
  EXPECT_TRUE(left.callsRecovered.empty()) << "which recordings have rows cannot be told";
  EXPECT_EQ(everyFile(), files);

  const RecoveryReport rebuilt = recover(false, true);
  EXPECT_TRUE(rebuilt.problems.empty()) << rebuilt.problems.front();
  EXPECT_TRUE(rebuilt.listRebuilt);
  EXPECT_EQ(rebuilt.rebuiltRows, 3u);
  EXPECT_EQ(rebuilt.keptList.filename(), "ZEruTestNew-before-rebuild.htm");
  EXPECT_EQ(test::readFile(at("ZEruTestNew-before-rebuild.htm")), damaged);
  const std::vector<ListRow> after = rows();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0].trimmedText(), "recovered");
  EXPECT_EQ(after[2].link, recordingOf(a));
  EXPECT_EQ(logged().size(), 3u);

  // A second rebuild never replaces the first kept list.
  const RecoveryReport again = recover(false, true);
  EXPECT_EQ(again.keptList.filename(), "ZEruTestNew-before-rebuild-2.htm");
  EXPECT_EQ(test::readFile(at("ZEruTestNew-before-rebuild.htm")), damaged);
  EXPECT_EQ(test::readFile(at("ZEruTestNew-before-rebuild-2.htm")), listBytes_);
  EXPECT_EQ(rows().size(), 3u);
}

TEST_F(FolderRecovery, RebuildKeepsTheTextsEditedInTheList) {
  const CallRecord a = call(1, kMarch5, 5), b = call(2, kMarch5 + 10, 6);
  log({a, b});
  record(a);
  record(b);
  list({b, a});
  std::string edited = test::readFile(at(kList));
  const std::size_t text = edited.find("5551234");
  edited.replace(text, 7, "Boss about the contract");
  test::writeFile(at(kList), edited);

  const RecoveryReport report = recover(false, true);
  EXPECT_TRUE(report.listRebuilt);
  EXPECT_EQ(test::readFile(at(kList)), edited) << "the same rows, edited text and all";
}

TEST_F(FolderRecovery, RecorderStartReportsWhatItRecovered) {
  const CallRecord a = call(1, kMarch5, 5);
  log({a});
  record(a);
  record(call(2, kMarch5 + 8, 2));
  ::parvolin::test::CollectingDiagnostics diagnostics;
  engine::RecorderSettings settings;
  recoverAtStart(folder.path(), settings, diagnostics);
  ASSERT_EQ(diagnostics.lines.size(), 2u);
  EXPECT_EQ(diagnostics.lines[0],
            recordingOf(call(2, kMarch5 + 8, 2)) + ": recovered as a call of 2 s");
  EXPECT_EQ(diagnostics.lines[1],
            "Recovery: 1 row of logged calls put back; 1 recording without record or row "
            "recovered");
  EXPECT_EQ(rows().size(), 2u);

  // Without a list the recordings get their records alone.
  record(call(3, kMarch5 + 50, 1));
  settings.parvolinSetting &= ~engine::kHtmlListOn;
  diagnostics.lines.clear();
  recoverAtStart(folder.path(), settings, diagnostics);
  EXPECT_EQ(logged().size(), 3u);
  EXPECT_EQ(rows().size(), 2u);
}

}  // namespace
}  // namespace parvolin::logview
