// Retention on emulated units, on the virtual clock: a week of calls with the oldest deleted by
// age, by the capacity limits and by the free space of a small disk. After every pass the list,
// the recordings and the capacity figures agree, and the call whose text was edited is still
// there.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "base/file_io.h"
#include "engine/call_log.h"
#include "engine/capture_replay.h"
#include "engine_harness.h"
#include "logview/list_edits.h"
#include "logview/list_rows.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "sim_engine_run.h"
#include "support/collecting_diagnostics.h"
#include "support/expect_ok.h"
#include "support/scripted_prompt.h"
#include "tools/sim_units.h"

namespace parvolin::engine::test {
namespace {

constexpr int kDays = 7;
constexpr int kCallsPerDay = 6;
constexpr int kTalkSeconds = 30;
constexpr std::int64_t kDayMs = 86'400'000;

// Call `i` of the week starts at this many seconds into the run: six a day, one an hour from
// 09:00 of the run's first day, on the four ports in turn.
std::int64_t callStart(int i) {
  return std::int64_t(i / kCallsPerDay) * 86'400 + 9 * 3600 + (i % kCallsPerDay) * 3600;
}

std::string weekScenario() {
  std::string text = "unit R1 mode=3\n";
  for (int i = 0; i < kDays * kCallsPerDay; ++i) {
    const std::string port = "1/" + std::to_string(i % 4 + 1);
    const std::string at = std::to_string(callStart(i));
    const std::string number = "555" + std::to_string(1000 + i);
    text += at + " " + port + " ring\n+0.5 " + port + " callerid A " + number + "\n+1 " + port +
            " answer\n+0 " + port + " talk " + std::to_string(kTalkSeconds) + " tone:440\n+" +
            std::to_string(kTalkSeconds) + " " + port + " callend " + number + "\n";
  }
  return text;
}

// A disk of `size` bytes holding only the recording folder: its free space is what the folder's
// files leave.
struct SmallDisk {
  SmallDisk(const std::filesystem::path& folder, std::uint64_t size) {
    folder_ = folder;
    size_ = size;
    previous_ = base::detail::replaceFreeBytesCall(&SmallDisk::freeBytes);
  }
  ~SmallDisk() { base::detail::replaceFreeBytesCall(previous_); }
  static std::optional<std::uint64_t> freeBytes(const std::filesystem::path&) {
    std::uint64_t used = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::error_code error;
      if (entry.is_regular_file(error)) used += entry.file_size(error);
    }
    return used >= size_ ? 0 : size_ - used;
  }

 private:
  static inline std::filesystem::path folder_;
  static inline std::uint64_t size_ = 0;
  base::detail::FreeBytesCall previous_;
};

RecorderSettings weekSettings(RecorderSettings rule) {
  rule.parvolinSetting = kLvFormat | kKeepShortCalls | kHtmlListOn;
  return rule;
}

EngineOptions everyRowAtOnce() {
  EngineOptions options;
  options.listBudget = ListWriteBudget::immediate();
  options.listWrites = ListWrites::kInCaller;
  return options;
}

class WeekRun : public SimEngineRun {
 public:
  explicit WeekRun(RecorderSettings rule)
      : SimEngineRun(weekScenario(), weekSettings(rule), everyRowAtOnce(), 1'800'000'000'000) {}

  void tick() {
    engine->onPollTick();
    if (engine->retentionPasses() != passesSeen_ && !engine->retentionRunning()) {
      passesSeen_ = engine->retentionPasses();
      afterPass();
    }
  }
  // Ticks at the poll period through each call; between calls the clock leaps ten minutes a
  // tick, as a quiet recorder's hourly pass sees it.
  void runWeek(const std::function<void(int call)>& afterCall = {}) {
    for (int i = 0; i < kDays * kCallsPerDay; ++i) {
      const std::int64_t start = callStart(i) * 1000;
      while (elapsedMs() + 600'000 < start - 2'000) {
        clock.advanceMs(600'000);
        tick();
      }
      clock.advanceMs(start - 2'000 - elapsedMs());
      while (elapsedMs() < start + (kTalkSeconds + 5) * 1000) {
        clock.advanceMs(setUp.pollPeriodMs);
        tick();
      }
      if (afterCall) afterCall(i);
    }
    clock.advanceMs(kDayMs / 4);
    tick();
  }

  std::vector<std::string> listRows() const {
    std::string list;
    if (base::readWholeFile(folder / settings.lvLogHtmlName, list)) return {};
    std::vector<std::string> rows;
    for (const logview::ListRow& row : logview::parseRows(logview::listBody(list))) {
      rows.emplace_back(row.bytes);
    }
    return rows;
  }
  std::string rowsText() const {
    std::string text;
    for (const std::string& row : listRows()) text += row;
    return text;
  }

  // The list, the recordings and the figures agree; the edited call is there.
  void afterPass() {
    ++checks;
    // No list before the first kept call.
    std::string list;
    if (const std::error_code error = base::readWholeFile(folder / settings.lvLogHtmlName, list)) {
      ASSERT_EQ(error, std::errc::no_such_file_or_directory);
    }
    std::set<std::string> linked;
    std::size_t rows = 0;
    for (const logview::ListRow& row : logview::parseRows(logview::listBody(list))) {
      ++rows;
      if (!row.link.empty()) linked.emplace(row.link);
    }
    std::set<std::string> inUse;
    for (int p = 0; p < 4; ++p) {
      if (engine->port(p).hasRecording()) inUse.insert(engine->port(p).audioFileName);
    }
    std::set<std::string> recordings;
    std::int32_t keptBlocks = 0;
    for (const auto& [name, data] : folderContents(folder.path())) {
      if (!name.ends_with(".LV3")) continue;
      recordings.insert(name);
      if (!inUse.contains(name)) keptBlocks += std::int32_t(data.size() / 512);
    }
    for (const std::string& name : linked) EXPECT_TRUE(recordings.contains(name)) << name;
    for (const std::string& name : recordings) {
      EXPECT_TRUE(linked.contains(name) || inUse.contains(name)) << name << " has no row";
    }
    // A recount counts a recording in progress as well: compared between calls only.
    if (inUse.empty()) {
      EXPECT_EQ(engine->capacity().loggedBlocks, keptBlocks);
    }
    if (!editedText.empty()) {
      EXPECT_NE(list.find(editedText), std::string::npos) << "the edited call was deleted";
    }
    rowsAfterPasses.push_back(rows + engine->deferredRows());
  }

  // Gives the oldest call in the list a text of the user's.
  void editOldestCall() {
    std::string list;
    ASSERT_WORKED(base::readWholeFile(folder / settings.lvLogHtmlName, list));
    const std::vector<logview::ListRow> rows = logview::parseRows(logview::listBody(list));
    ASSERT_FALSE(rows.empty());
    const auto edit = logview::textEdit(rows.back(), "kept by the user");
    ASSERT_TRUE(edit);
    bool applied = false;
    engine->requestListEdit(*edit, [&](const ListEditResult& r) { applied = r.applied; });
    tick();
    ASSERT_TRUE(applied);
    editedText = "kept by the user";
  }

  std::string editedText;
  int checks = 0;
  std::vector<std::size_t> rowsAfterPasses;

 private:
  std::uint64_t passesSeen_ = 0;
};

std::size_t reportedDeletes(const std::vector<std::string>& lines) {
  std::size_t calls = 0;
  for (const std::string& line : lines) {
    if (line.starts_with("Retention: ")) calls += std::stoul(line.substr(11));
  }
  return calls;
}

TEST(RetentionOnEmulatedUnits, AWeekKeptForTwoDays) {
  UtcZone utc;
  RecorderSettings rule;
  rule.retentionDays = 2;
  WeekRun run(rule);
  run.runWeek([&](int call) {
    if (call == 2) run.editOldestCall();
  });
  EXPECT_GT(run.checks, 0);
  // The last two days' calls and the edited one stay; the call log keeps every record.
  const std::vector<std::string> rows = run.listRows();
  EXPECT_EQ(rows.size(), 2u * kCallsPerDay + 1);
  EXPECT_NE(run.rowsText().find("kept by the user"), std::string::npos);
  CallLogContents log;
  ASSERT_WORKED(readCallLog(run.folder / kCallLogName, log));
  EXPECT_EQ(log.records.size(), std::size_t(kDays * kCallsPerDay));
  EXPECT_EQ(reportedDeletes(run.diagnostics.lines),
            std::size_t(kDays * kCallsPerDay) - rows.size());
}

TEST(RetentionOnEmulatedUnits, AWeekAtAnItemLimitOfTwenty) {
  UtcZone utc;
  RecorderSettings rule;
  rule.retentionAtLimits = 1;
  rule.itemLimit = 20;
  WeekRun run(rule);
  run.runWeek([&](int call) {
    if (call == 0) run.editOldestCall();
  });
  ASSERT_FALSE(run.rowsAfterPasses.empty());
  EXPECT_LE(*std::max_element(run.rowsAfterPasses.begin(), run.rowsAfterPasses.end()), 20u);
  // Each call past 20 brings the list down to 95 % of 20: it ends at 19 or, after one more
  // call, at 20, the edited row among them.
  const std::size_t rows = run.listRows().size();
  EXPECT_TRUE(rows == 19 || rows == 20) << rows;
  EXPECT_NE(run.rowsText().find("kept by the user"), std::string::npos);
  EXPECT_EQ(reportedDeletes(run.diagnostics.lines), std::size_t(kDays * kCallsPerDay) - rows);
  RecordProperty("deleted", int(reportedDeletes(run.diagnostics.lines)));
}

TEST(RetentionOnEmulatedUnits, AWeekOnASmallDiskKeepsItsMarginFree) {
  UtcZone utc;
  RecorderSettings rule;
  rule.keepFreeMb = 8;
  WeekRun run(rule);
  SmallDisk disk(run.folder.path(), 12u << 20);
  run.runWeek([&](int call) {
    if (call == 1) run.editOldestCall();
    // Right after a call's pass the margin holds (a call's own audio may eat into it before).
    EXPECT_GE(*SmallDisk::freeBytes(run.folder.path()), 8u << 20) << "after call " << call;
  });
  const std::size_t deleted = reportedDeletes(run.diagnostics.lines);
  EXPECT_GT(deleted, 0u);
  RecordProperty("deleted", int(deleted));
  EXPECT_EQ(run.listRows().size(), std::size_t(kDays * kCallsPerDay) - deleted);
  EXPECT_NE(run.rowsText().find("kept by the user"), std::string::npos);
  // Nothing was lost to a full disk.
  EXPECT_TRUE(run.engine->unwritten().empty());
}

}  // namespace
}  // namespace parvolin::engine::test
