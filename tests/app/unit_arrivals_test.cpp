// Units plugged in while the recorder runs: when the units are listed again, and a whole run in
// which a unit arrives after the start.

#include "app/unit_arrivals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/call_log.h"
#include "support/expect_ok.h"
#include "support/recorder_run.h"

namespace parvolin::app {
namespace {

using test::RecorderRun;

struct Announcements final : device::DeviceNotifications {
  bool deviceAdded() override { return std::exchange(added, false); }
  bool added = false;
};

// Ticks of 100 ms: on which the schedule lists the units, given when devices were announced and
// which listings found a unit.
std::vector<int> listingTicks(const std::vector<int>& announcedAt, const std::vector<int>& foundAt,
                              int ticks) {
  base::VirtualClock clock;
  Announcements announcements;
  ArrivalSchedule schedule(&announcements, clock);
  std::vector<int> listed;
  for (int tick = 0; tick < ticks; ++tick) {
    announcements.added = std::count(announcedAt.begin(), announcedAt.end(), tick) > 0;
    if (schedule.listNow()) {
      listed.push_back(tick);
      schedule.listed(std::count(foundAt.begin(), foundAt.end(), tick) > 0);
    }
    clock.advanceMs(100);
  }
  return listed;
}

TEST(ArrivalSchedule, ListsAtOnceAndRetriesWhileNothingIsFound) {
  struct Case {
    const char* what;
    std::vector<int> announcedAt, foundAt, listed;
  };
  const Case cases[] = {
      {"nothing announced", {}, {}, {}},
      {"found at once", {3}, {3}, {3}},
      {"never found: three listings 500 ms apart", {3}, {}, {3, 8, 13}},
      {"found at the second listing", {3}, {8}, {3, 8}},
      {"a new announcement starts afresh", {3, 10}, {}, {3, 8, 10, 15, 20}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(listingTicks(c.announcedAt, c.foundAt, 40), c.listed) << c.what;
  }
  base::VirtualClock clock;
  ArrivalSchedule withoutNotifications(nullptr, clock);
  EXPECT_FALSE(withoutNotifications.listNow());
}

std::vector<engine::CallRecord> callsIn(const RecorderRun& run) {
  engine::CallLogContents log;
  EXPECT_WORKED(engine::readCallLog(run.rec() / engine::kCallLogName, log));
  return log.records;
}

bool reported(const RecorderRun& run, const std::string& text) {
  for (const std::string& line : run.diagnostics.lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

// Unit B is plugged in 10 s after the start, and has a call at 12 s.
constexpr const char* kLateUnit =
    "unit A\n"
    "unit B mode=2\n"
    "10 B plug\n"
    "12 B/3 ring\n"
    "+0.5 B/3 answer\n"
    "+0 B/3 talk 2 silence\n"
    "+2 B/3 callend 5550123\n";

TEST(UnitArrivals, AUnitPluggedInAfterTheStartIsSetUpAndRecorded) {
  RecorderRun run(kLateUnit);
  run.notifications = std::make_unique<sim::SimNotifications>(*run.d2xx);
  run.remake({});
  run.open();
  EXPECT_EQ(run.recorder->visibleRows(), 1);
  EXPECT_FALSE(run.recorder->unit(1).listed);
  run.tickUntil(10);
  EXPECT_FALSE(run.recorder->unit(1).listed);

  run.tickUntil(10.1);
  const RecorderUnit b = run.recorder->unit(1);
  EXPECT_TRUE(b.listed && b.present && b.idle && b.setUp);
  EXPECT_EQ(b.audioMode, 2) << "its set-up read its audio mode";
  EXPECT_EQ(run.recorder->visibleRows(), 2);
  EXPECT_EQ(run.screen.lastStatus[6], idleLine(7));
  EXPECT_EQ(run.d2xx->unit(1).streamControl(), 0x4D) << "its stream was started";
  EXPECT_TRUE(reported(run, "Unit2: plugged in (serial B), set up and recording"));

  run.tickUntil(18);
  const auto calls = callsIn(run);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].portIndex, 6);
  EXPECT_EQ(calls[0].text().substr(0, 7), "5550123");
  EXPECT_TRUE(run.recorder->exit(RecorderSession::ExitQuestion::DontAsk));
  EXPECT_EQ(run.d2xx->unit(1).streamControl(), 0) << "stopped at the exit";
}

TEST(UnitArrivals, WithoutUnitsAtTheStartTheFirstArrivalIsPolledAtTheUnitsPeriod) {
  RecorderRun run(
      "unit B\n10 B plug\n12 1/1 ring\n+0.5 1/1 answer\n+0 1/1 talk 1 silence\n"
      "+1 1/1 callend 5550001\n");
  run.notifications = std::make_unique<sim::SimNotifications>(*run.d2xx);
  run.remake({});
  run.open();
  EXPECT_EQ(run.timer.period, 500);
  EXPECT_EQ(run.store.getInt("USN"), -1) << "no unit to read the number from at the start";
  run.tickUntil(10.5);
  EXPECT_EQ(run.store.getInt("USN"), std::int32_t(run.d2xx->unit(0).unitNumber()))
      << "read from the first unit when it arrived";
  EXPECT_EQ(run.timer.period, 35);
  EXPECT_EQ(run.recorder->pollPeriodMs(), 35);
  EXPECT_TRUE(run.recorder->unit(0).setUp);
  run.tickUntil(16);
  EXPECT_EQ(callsIn(run).size(), 1u);
}

TEST(UnitArrivals, AUnitThatFailsItsSetUpShowsWhyAndIsTriedAgainWhenPluggedInAgain) {
  // B answers with a wrong acknowledge byte when it is first plugged in.
  RecorderRun run("unit A\nunit B\n5 B plug\n5 B wrongack 1\n7 B unplug\n8 B replug\n");
  run.notifications = std::make_unique<sim::SimNotifications>(*run.d2xx);
  run.remake({});
  run.open();
  run.tickUntil(5.5);
  EXPECT_EQ(run.later.texts, std::vector<std::string>{std::string(device::kEncoderModeErrorText)});
  EXPECT_FALSE(run.recorder->unit(1).listed);
  EXPECT_EQ(run.recorder->visibleRows(), 1);
  run.tickUntil(8.5);
  EXPECT_TRUE(run.recorder->unit(1).setUp);
  EXPECT_EQ(run.recorder->visibleRows(), 2);
}

TEST(UnitArrivals, WithoutNotificationsOnlyTheUnitsOfTheOpeningAreRecorded) {
  RecorderRun run(kLateUnit);
  run.open();
  run.tickUntil(18);
  EXPECT_FALSE(run.recorder->unit(1).listed);
  EXPECT_FALSE(std::filesystem::exists(run.rec() / engine::kCallLogName)) << "no call logged";
}

}  // namespace
}  // namespace parvolin::app
