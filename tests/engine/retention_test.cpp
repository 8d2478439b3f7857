// The retention rule: which calls go, and the list edit and recordings of a pass.

#include <gtest/gtest.h>

#include "engine/disk_watch.h"
#include "engine/retention.h"
#include "engine_harness.h"
#include "support/expect_ok.h"

namespace parvolin::engine::test {
namespace {

constexpr std::int64_t kNow = 1'800'000'000;
constexpr std::uint64_t kMb = kRetentionMegabyte;

// Ten calls, newest first, one a day back from kNow; each with a 1 MB recording.
std::vector<RetainedCall> tenDays() {
  std::vector<RetainedCall> calls;
  for (int day = 0; day < 10; ++day) calls.push_back({kNow - day * kSecondsPerDay - 60, kMb});
  return calls;
}

struct RuleCase {
  const char* name;
  RetentionRule rule;
  std::uint64_t recordingBytes;
  std::optional<std::uint64_t> freeBytes;
  std::vector<std::size_t> keptAnyway;  // edited (even) or in progress (odd position in list)
  std::vector<std::size_t> expected;    // oldest first
};

TEST(RetentionRule, ChoosesTheOldestCallsThatTheRuleLetsGo) {
  const std::vector<RuleCase> cases = {
      {"nothing on", {}, 10 * kMb, 0, {}, {}},
      {"days: older than 3 days", {.days = 3}, 10 * kMb, {}, {}, {9, 8, 7, 6, 5, 4, 3}},
      {"days: none old enough", {.days = 30}, 10 * kMb, {}, {}, {}},
      {"days: edited and in progress stay", {.days = 3}, 10 * kMb, {}, {4, 9}, {8, 7, 6, 5, 3}},
      {"items under the limit", {.atLimits = true, .itemLimit = 10}, 0, {}, {}, {}},
      // 10 rows against 8: down to 95 % of 8 = 7 rows.
      {"items over the limit, down to 95 %",
       {.atLimits = true, .itemLimit = 8},
       0,
       {},
       {},
       {9, 8, 7}},
      {"items over: kept rows count but do not go",
       {.atLimits = true, .itemLimit = 8},
       0,
       {},
       {9, 7},
       {8, 6, 5}},
      {"limits off: over the limit is kept",
       {.itemLimit = 8, .spaceLimitMb = 1},
       10 * kMb,
       {},
       {},
       {}},
      // 10 MB against 6 MB: down to 5.7 MB, so five recordings go.
      {"space over the limit, down to 95 %",
       {.atLimits = true, .spaceLimitMb = 6},
       10 * kMb,
       {},
       {},
       {9, 8, 7, 6, 5}},
      {"space exactly at the limit", {.atLimits = true, .spaceLimitMb = 10}, 10 * kMb, {}, {}, {}},
      // Recordings not in the list count too: 4 MB more than the rows hold.
      {"space with recordings outside the list",
       {.atLimits = true, .spaceLimitMb = 12},
       14 * kMb,
       {},
       {},
       {9, 8, 7}},
      {"free space: 2.5 MB short",
       {.keepFreeBytes = 10 * kMb},
       10 * kMb,
       7 * kMb + kMb / 2,
       {},
       {9, 8, 7}},
      {"free space enough", {.keepFreeBytes = 10 * kMb}, 10 * kMb, 10 * kMb, {}, {}},
      {"free space unknown", {.keepFreeBytes = 10 * kMb}, 10 * kMb, std::nullopt, {}, {}},
      {"free space: everything that may go, and no more",
       {.keepFreeBytes = 100 * kMb},
       10 * kMb,
       0,
       {0, 1},
       {9, 8, 7, 6, 5, 4, 3, 2}},
      {"days first, then the items on what is left",
       {.days = 8, .atLimits = true, .itemLimit = 6},
       0,
       {},
       {},
       {9, 8, 7, 6, 5}},
  };
  for (const RuleCase& c : cases) {
    std::vector<RetainedCall> calls = tenDays();
    for (const std::size_t i : c.keptAnyway) {
      (i % 2 == 0 ? calls[i].edited : calls[i].inProgress) = true;
    }
    const RetentionFigures figures{kNow, c.recordingBytes, c.freeBytes};
    EXPECT_EQ(chooseRetention(calls, c.rule, figures), c.expected) << c.name;
  }
}

TEST(RetentionRule, ACallOfUnknownAgeIsKept) {
  std::vector<RetainedCall> calls = tenDays();
  calls[9].startTime = -1;
  EXPECT_EQ(chooseRetention(calls, {.days = 7}, {kNow, 0, {}}), (std::vector<std::size_t>{8, 7}));
  EXPECT_EQ(chooseRetention(calls, {.keepFreeBytes = kMb}, {kNow, 0, 0}),
            (std::vector<std::size_t>{8}));
}

// A folder with a list of `count` answered calls (one a day, newest first as the list holds
// them), their recordings of `bytes` each, and the call log of them.
struct ListedFolder {
  explicit ListedFolder(int count, std::size_t bytes = 4096) {
    std::vector<ListRowCall> calls;
    for (int i = 0; i < count; ++i) {
      CallRecord r;
      r.portIndex = std::uint8_t(i % 16);
      r.callType = kCallAnswered;
      r.startTime = std::uint32_t(kNow - (count - i) * kSecondsPerDay);
      r.durationSec = std::uint16_t(30 + i);
      r.firstAudioSec = 1;
      const std::string text = "555" + std::to_string(1000 + i);
      std::copy(text.begin(), text.end(), r.callText.begin());
      log.push_back(r);
      calls.push_back({r, 3, false});
      writeFile(folder / recordingFileName(r.startTime, r.portIndex, 3, false),
                std::string(bytes, 'x'));
    }
    std::int32_t rowCount = -1;
    EXPECT_WORKED(appendHtmlRows(list(), calls, rowCount));
  }
  std::filesystem::path list() const { return folder / "ZEruTestNew.htm"; }
  std::string listText() const { return readFile(list()); }
  std::string name(int i) const {
    return recordingFileName(log[std::size_t(i)].startTime, log[std::size_t(i)].portIndex, 3,
                             false);
  }
  RetentionPlan plan(const RetentionRule& rule, std::span<const std::string> inUse = {}) const {
    return planRetention(listText(), log, folder.path(), inUse, rule, {kNow, 0, {}});
  }

  TempFolder folder;
  std::vector<CallRecord> log;
};

TEST(RetentionPlan, TakesTheOldestRowsOutInOneEditAndNamesTheirRecordings) {
  UtcZone utc;
  ListedFolder f(6);
  const RetentionPlan plan = f.plan({.days = 3});
  ASSERT_TRUE(plan.edit);
  EXPECT_EQ(plan.items, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(plan.recordings, (std::vector<std::string>{f.name(0), f.name(1), f.name(2)}));
  EXPECT_EQ(plan.bytes, 3u * 4096);
  EXPECT_EQ(plan.oldestKept, f.log[3].startTime);

  PendingListEdit edit = *plan.edit;
  ASSERT_TRUE(applyPendingListEdit(f.folder.path(), f.list(), edit).applied);
  const std::string after = f.listText();
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(after.find(f.name(i)) == std::string::npos, i < 3) << i;
  }
  const RetentionTaken taken = takenByEdit(plan, after);
  EXPECT_EQ(taken.items, plan.items);
  EXPECT_EQ(taken.recordings, plan.recordings);
  RetentionReport report;
  report.calls = 3;
  report.items = plan.items;
  report.bytes = 3 * kMb / 2;
  report.oldestKept = plan.oldestKept;
  // The oldest call kept is named by its row's own date text.
  const std::string row = htmlRow(f.log[3], 3, false, 4);
  const std::string date = row.substr(row.rfind("<td><p align=center>") + 20, 17);
  EXPECT_EQ(report.summary(),
            "Retention: 3 calls deleted (items 1-3), 1.5 MB; oldest call kept " + date);
}

TEST(RetentionPlan, AnEditedTextAndARecordingInUseKeepTheirCalls) {
  UtcZone utc;
  ListedFolder f(6);
  // The file manager's edit of item 2's text: the text cell padded to 22 characters.
  std::string list = f.listText();
  const std::string own = std::string(f.log[1].text());
  std::string edited = "customer called back";
  edited.resize(kCallTextSize, ' ');
  list = replaceAll(list, own, edited);
  writeFile(f.list(), list);
  const std::vector<std::string> inUse = {f.name(2)};
  const RetentionPlan plan = f.plan({.days = 3}, inUse);
  EXPECT_EQ(plan.items, (std::vector<int>{1}));
  EXPECT_EQ(plan.keptEdited, 1u);
  ASSERT_TRUE(plan.edit);
  PendingListEdit edit = *plan.edit;
  ASSERT_TRUE(applyPendingListEdit(f.folder.path(), f.list(), edit).applied);
  const std::string after = f.listText();
  EXPECT_NE(after.find("customer called back"), std::string::npos);
  EXPECT_NE(after.find(f.name(2)), std::string::npos);
  EXPECT_EQ(after.find(f.name(0)), std::string::npos);
}

TEST(RetentionPlan, RowsWithoutTheirCallLogRecordAreKept) {
  UtcZone utc;
  ListedFolder f(4);
  const std::vector<CallRecord> noLog;
  const RetentionPlan plan =
      planRetention(f.listText(), noLog, f.folder.path(), {}, {.days = 1}, {kNow, 0, {}});
  EXPECT_FALSE(plan.edit);
  EXPECT_EQ(plan.listRows, 4u);
}

TEST(RetentionPlan, RecordingsOfRowsTheEditDidNotTakeOutStay) {
  UtcZone utc;
  ListedFolder f(4);
  const RetentionPlan plan = f.plan({.days = 2});
  ASSERT_EQ(plan.recordings.size(), 2u);
  // The list changed under the plan (a row's text edited): its edit finds nothing to replace.
  std::string list = replaceAll(f.listText(), std::string(f.log[0].text()), "edited here");
  writeFile(f.list(), list);
  PendingListEdit edit = *plan.edit;
  ASSERT_TRUE(applyPendingListEdit(f.folder.path(), f.list(), edit).applied);
  // Item 2's row is still there, item 1's call still listed under its new text.
  const RetentionTaken taken = takenByEdit(plan, f.listText());
  EXPECT_TRUE(taken.items.empty());
  EXPECT_TRUE(taken.recordings.empty());
}

TEST(RetentionReport, ItemRangesAndTexts) {
  EXPECT_EQ(itemRanges({7, 1, 2, 3, 9, 10, 12}), "1-3, 7, 9-10, 12");
  EXPECT_EQ(itemRanges({}), "");
  RetentionReport report;
  report.dryRun = true;
  EXPECT_EQ(report.summary(), "Retention: no call would be deleted");
  report.calls = 1;
  report.items = {4};
  report.bytes = kMb;
  EXPECT_EQ(report.summary(), "Retention: 1 call would be deleted (item 4), 1.0 MB");
  report.dryRun = false;
  report.error = "w1.LV3: cannot delete";
  EXPECT_EQ(report.summary(), "Retention: 1 call deleted (item 4), 1.0 MB; w1.LV3: cannot delete");
  report.calls = 0;
  EXPECT_EQ(report.summary(), "Retention: w1.LV3: cannot delete");
}

TEST(DiskWatch, WarnsOncePerCrossingOfTenAndTwoPercent) {
  constexpr std::uint64_t kTotal = 1000 * kMb;
  struct Step {
    std::uint64_t freeMb;
    const char* warning;  // the start of the warning, or nullptr for none
  };
  const std::vector<Step> steps = {
      {500, nullptr},
      {101, nullptr},
      {99, "Recording disk below 10 % free: 99.0 MB free (9 %)"},
      {95, nullptr},
      {101, nullptr},  // not clearly above 10 %: no new warning when it falls again
      {99, nullptr},
      {19, "Recording disk below 2 % free"},
      {15, nullptr},
      {25, nullptr},  // not clearly above 2 %
      {31, nullptr},  // clearly above: a new fall below 2 % warns again
      {10, "Recording disk below 2 % free"},
      {200, nullptr},
      {90, "Recording disk below 10 % free"},
  };
  DiskWatch watch;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::optional<std::string> warning = watch.update(steps[i].freeMb * kMb, kTotal, "/rec");
    if (steps[i].warning) {
      ASSERT_TRUE(warning) << "step " << i;
      EXPECT_TRUE(warning->starts_with(steps[i].warning)) << *warning;
    } else {
      EXPECT_FALSE(warning) << "step " << i << ": " << *warning;
    }
  }
  DiskWatch first;
  EXPECT_TRUE(first.update(kMb, kTotal, "/rec"));  // a disk found very low warns at once
  EXPECT_EQ(freeSpaceText(3 * kMb / 2, std::nullopt), "1.5 MB free");
  EXPECT_EQ(freeSpaceText(2048 * kMb, 4096 * kMb), "2.0 GB free (50 %)");
}

}  // namespace
}  // namespace parvolin::engine::test
