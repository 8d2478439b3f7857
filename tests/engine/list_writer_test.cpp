#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "engine/list_recovery.h"
#include "engine/list_writer.h"
#include "engine_harness.h"
#include "logview/list_rows.h"
#include "support/expect_ok.h"

namespace parvolin::engine::test {
namespace {

CallRecord call(int port, std::uint8_t type, std::uint32_t start, std::uint16_t duration) {
  CallRecord r;
  r.portIndex = std::uint8_t(port);
  r.callType = type;
  r.startTime = start;
  r.durationSec = duration;
  return r;
}

std::string row(int item, std::uint32_t start = kT1) {
  return htmlRow(call(0, kCallRinging, start + std::uint32_t(item), 0), 3, false, item);
}

std::string bodyOf(const std::filesystem::path& list) {
  const std::string text = readFile(list);
  return text.size() < kHtmlHeaderSize ? std::string() : text.substr(kHtmlHeaderSize);
}

// When rewrites happen: a row waits delayMs; a rewrite waits the list's size over the rate after
// the one before.
TEST(ListWriter, RewritesWaitForTheDelayAndTheListsShareOfTheBudget) {
  const std::size_t firstSize = kHtmlHeaderSize + row(1).size();
  struct Case {
    const char* what;
    ListWriteBudget budget;
    std::int64_t secondRowMs;
    std::vector<std::pair<std::int64_t, std::uint64_t>> pollsAndRewrites;
  };
  // At 100 bytes/s, the first list (firstSize bytes) holds off the next rewrite this long.
  const std::int64_t spacing = std::int64_t(firstSize) * 1000 / 100;
  const Case cases[] = {
      {"immediate", ListWriteBudget::immediate(), 10, {{0, 1}, {10, 2}}},
      {"delay only", {2000, 0}, 2100, {{1999, 0}, {2000, 1}, {4099, 1}, {4100, 2}}},
      {"size bound",
       {2000, 100},
       2100,
       {{2000, 1}, {4100, 1}, {2000 + spacing - 1, 1}, {2000 + spacing, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    ListWriter writer(folder / "list.htm", c.budget, ListWrites::kInCaller);
    writer.add(row(1), 0);
    bool second = false;
    for (const auto& [at, rewrites] : c.pollsAndRewrites) {
      if (!second && at >= c.secondRowMs) {
        writer.add(row(2), c.secondRowMs);
        second = true;
      }
      writer.poll(at);
      EXPECT_EQ(writer.rewrites(), rewrites) << "at " << at << " ms";
    }
    EXPECT_WORKED(writer.flush(100'000));
    EXPECT_EQ(bodyOf(folder / "list.htm"), row(2) + row(1));
  }
}

TEST(ListWriter, RowsTheDiskRefusedWaitNewestFirstAndGoInOnceItTakesThem) {
  TempFolder folder;
  const auto list = folder / "list.htm";
  writeFile(list, std::string(kHtmlHeader) + row(1));
  ListWriter writer(list, ListWriteBudget::immediate(), ListWrites::kInCaller);
  // The hidden temporary file cannot be made while a folder stands in its place.
  std::filesystem::create_directory(folder / ".list.htm.tmp");
  writer.add(row(2), 0);
  writer.add(row(3), 0);
  writer.poll(0);
  EXPECT_TRUE(writer.failing());
  EXPECT_TRUE(writer.lastError());
  EXPECT_EQ(writer.rowsNotInList(), (std::vector<std::string>{row(3), row(2)}));
  EXPECT_EQ(writer.newestPendingItem(), 3);
  EXPECT_EQ(bodyOf(list), row(1)) << "the list stays as it was";
  std::filesystem::remove(folder / ".list.htm.tmp");
  EXPECT_WORKED(writer.flush(0));
  EXPECT_FALSE(writer.failing());
  EXPECT_TRUE(writer.rowsNotInList().empty());
  EXPECT_EQ(bodyOf(list), row(3) + row(2) + row(1));
}

// A reader on another thread, as the log viewer is: the rows waiting, then the file, never miss
// a row handed over before the reading began.
TEST(ListWriter, AReaderOnAnotherThreadSeesEveryRowInTheFileOrWaiting) {
  TempFolder folder;
  const auto list = folder / "list.htm";
  ListWriter writer(list, ListWriteBudget::immediate(), ListWrites::kOwnThread);
  std::atomic<int> handedOver{0};
  std::atomic<bool> done{false};
  std::atomic<int> misses{0};
  std::thread reader([&] {
    while (!done) {
      const int before = handedOver;
      std::set<int> seen;
      for (const std::string& r : writer.rowsNotInList()) {
        seen.insert(readItemNumber(r, kRowItemOffset));
      }
      const std::string body = bodyOf(list);
      for (std::size_t at = 0; at + kRowItemOffset + 5 <= body.size();) {
        seen.insert(readItemNumber(std::string_view(body).substr(at), kRowItemOffset));
        const std::size_t end = body.find("\r\n", at);
        if (end == std::string::npos) break;
        at = end + 2;
      }
      for (int item = 1; item <= before; ++item) {
        if (!seen.count(item)) ++misses;
      }
    }
  });
  for (int item = 1; item <= 300; ++item) {
    writer.add(row(item), item);
    handedOver = item;
    writer.poll(item);
  }
  EXPECT_WORKED(writer.flush(1000));
  done = true;
  reader.join();
  EXPECT_EQ(misses, 0);
  std::string expected;
  for (int item = 300; item >= 1; --item) expected += row(item);
  EXPECT_EQ(bodyOf(list), expected);
}

TEST(ListWriter, ATaskRunsOnTheWritersThreadAndNoRewriteRunsBesideIt) {
  TempFolder folder;
  const auto list = folder / "list.htm";
  ListWriter writer(list, ListWriteBudget::immediate(), ListWrites::kOwnThread);
  std::atomic<bool> release{false};
  std::atomic<bool> onCallersThread{true};
  const std::thread::id caller = std::this_thread::get_id();
  ASSERT_TRUE(writer.startTask([&] {
    onCallersThread = std::this_thread::get_id() == caller;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }));
  EXPECT_TRUE(writer.taskRunning());
  EXPECT_FALSE(writer.startTask([] {})) << "one task at a time";
  writer.add(row(1), 0);
  writer.poll(10);
  EXPECT_FALSE(std::filesystem::exists(list)) << "no rewrite while the task reads the list";
  release = true;
  EXPECT_WORKED(writer.flush(20));
  EXPECT_FALSE(writer.taskRunning());
  EXPECT_FALSE(onCallersThread);
  EXPECT_EQ(bodyOf(list), row(1));
}

// --- The engine with its list on the writer's own thread ------------------------------------

EngineOptions onItsOwnThread() {
  EngineOptions options;
  options.listBudget = {2000, 64 * 1024};
  options.listWrites = ListWrites::kOwnThread;
  return options;
}

Bytes someCalls(int port) {
  return ring(port) + answering(port) + audio(port, 0x11) + callEnd(port, {0x55, 0x51});
}

TEST(EngineListWrites, RowsAreCountedAndShownAtOnceAndTheListEndsAsWrittenEveryTick) {
  EngineHarness everyTick;
  EngineHarness h(kHtmlListOn | kLvFormat, onItsOwnThread());
  for (EngineHarness* x : {&everyTick, &h}) {
    x->feed(someCalls(0), kT1);
    x->feed(someCalls(1) + someCalls(2), kT1 + 10);
  }
  // No rewrite yet: the rows wait, shown to a reader and counted.
  EXPECT_FALSE(h.exists("ZEruTestNew.htm"));
  const std::vector<std::string> waiting = h.engine->rowsNotInList();
  ASSERT_EQ(waiting.size(), 3u);
  EXPECT_EQ(std::string(kHtmlHeader) + waiting[0] + waiting[1] + waiting[2], everyTick.list());
  EXPECT_EQ(h.engine->capacityShown().itemsText, "Logged Items: 3 / 2000 ");
  EXPECT_EQ(h.engine->capacity().rowCountCache, 3);
  EXPECT_EQ(h.log().size(), 3u) << "the log is the journal: written at once";
  // Two seconds after the first row, a tick starts the rewrite; it runs beside the ticks.
  h.clock.advanceMs(2000);
  h.engine->onPollTick();
  h.engine->flushList();
  EXPECT_EQ(h.list(), everyTick.list());
  EXPECT_EQ(h.engine->deferredRows(), 0u);
  EXPECT_EQ(h.engine->listRewrites(), 1u);
  // More calls, then the end of the run: everything is written.
  h.feed(someCalls(3), kT1 + 30);
  everyTick.feed(someCalls(3), kT1 + 30);
  h.engine->finishRun();
  EXPECT_EQ(h.list(), everyTick.list());
  EXPECT_TRUE(h.engine->unwritten().empty());
}

TEST(EngineListWrites, AnEditIsAppliedToTheListWithTheWaitingRowsInIt) {
  EngineHarness h(kHtmlListOn | kLvFormat, onItsOwnThread());
  h.feed(someCalls(0), kT1);
  h.clock.advanceMs(2000);
  h.engine->onPollTick();
  h.engine->flushList();
  h.feed(someCalls(1), kT1 + 10);
  ASSERT_EQ(h.engine->deferredRows(), 1u);
  const std::string newest = h.engine->rowsNotInList()[0];
  std::vector<ListEditResult> told;
  // The edit names the row that is not in the file yet.
  h.engine->requestListEdit({newest, "", false},
                            [&](const ListEditResult& r) { told.push_back(r); });
  for (int i = 0; i < 2000 && told.empty(); ++i) {
    h.engine->onPollTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(told[0].applied);
  EXPECT_FALSE(h.engine->listEditPending());
  EXPECT_EQ(h.list().find(newest), std::string::npos);
  EXPECT_EQ(h.list().substr(kHtmlHeaderSize + kRowItemOffset, 5), "    1");
  EXPECT_EQ(h.engine->capacityShown().itemsText, "Logged Items: 1 / 2000 ");
  // The next call continues from the list as edited.
  h.feed(someCalls(2), kT1 + 20);
  EXPECT_EQ(h.engine->rowsNotInList()[0].substr(kRowItemOffset, 5), "    2");
}

TEST(EngineListWrites, ARetentionPassIsPlannedOffTheTickAndEndsAsInTheCaller) {
  EngineHarness inCaller;
  EngineHarness h(kHtmlListOn | kLvFormat, onItsOwnThread());
  for (EngineHarness* x : {&inCaller, &h}) {
    x->feed(someCalls(0) + someCalls(1) + someCalls(2), kT1);
    x->feed(someCalls(3), kT1 + 2 * 24 * 3600);
    x->engine->flushList();
    x->settings.retentionDays = 1;
    x->clock.advanceMs(2LL * 24 * 3600 * 1000 + 60'000);
    int ticks = 0;
    while (ticks < 2000 && (x->engine->retentionPasses() == 0 || x->engine->retentionRunning())) {
      x->engine->onPollTick();
      ++ticks;
      if (x == &h) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(x->engine->retentionPasses(), 1u);
    if (x == &inCaller) {
      EXPECT_EQ(ticks, 2) << "planned in the first tick, applied in the next";
    }
  }
  EXPECT_EQ(h.list(), inCaller.list());
  const std::string list = h.list();  // the rows point into it
  const std::vector<logview::ListRow> rows = logview::parseRows(logview::listBody(list));
  ASSERT_EQ(rows.size(), 1u) << "the calls older than a day went";
  EXPECT_EQ(rows[0].portNumber(), 4);
  EXPECT_EQ(h.engine->capacityShown().itemsText, inCaller.engine->capacityShown().itemsText);
}

// --- Rows of logged calls put back -------------------------------------------------------------

TEST(ListRecovery, CallsAfterTheOneOfTheNewestRowAreMissing) {
  UtcZone utc;
  const CallRecord a = call(0, kCallAnswered, kT1, 65);
  const CallRecord b = call(1, kCallRinging, kT1 + 5, 0);
  const CallRecord c = call(2, kCallOutgoing | kCallAnswered, kT1 + 9, 30);
  const std::vector<CallRecord> log{a, b, c};
  CallRecord editedB = b;
  editedB.callText[0] = 'X';  // the file manager edited its text
  struct Case {
    const char* what;
    std::string body;
    std::size_t missing;
  };
  const Case cases[] = {
      {"all rows there", htmlRow(c, 3, false, 3) + htmlRow(b, 3, false, 2), 0},
      {"two missing", htmlRow(a, 1, true, 1), 2},
      {"text edited", htmlRow(editedB, 3, false, 2), 1},
      {"same port and time, other duration", htmlRow(call(0, kCallAnswered, kT1, 64), 3, false, 1),
       0},
      {"no rows", "", 0},
      {"newest row of no logged call", htmlRow(call(5, kCallRinging, kT1, 0), 3, false, 9), 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const std::vector<CallRecord> missing = callsMissingFromList(log, k.body);
    ASSERT_EQ(missing.size(), k.missing);
    if (k.missing != 0) {
      EXPECT_EQ(missing.back().startTime, c.startTime);
    }
  }
}

TEST(ListRecovery, AFolderLeftByACrashGetsTheRowsItWouldHaveHad) {
  // The whole run, written as it went.
  EngineHarness whole(kHtmlListOn | kLvFormat);
  const Bytes calls[] = {someCalls(0), someCalls(1), ring(2) + callEnd(2), someCalls(3)};
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    whole.feed(calls[i], kT1 + std::int64_t(i) * 10);
  }
  whole.engine->finishRun();
  // The same run, its last two rows never written: the list of the first two calls, the whole
  // log and the recordings.
  EngineHarness crashed(kHtmlListOn | kLvFormat);
  for (std::size_t i = 0; i < 2; ++i) crashed.feed(calls[i], kT1 + std::int64_t(i) * 10);
  crashed.engine.reset();
  for (const auto& [name, bytes] : folderContents(whole.folder.path())) {
    if (name != "ZEruTestNew.htm") writeFile(crashed.folder / name, bytes);
  }
  ASSERT_NE(crashed.list(), whole.list());

  // The next start puts them back, and says so.
  crashed.engine = std::make_unique<Engine>(
      crashed.streams, crashed.clock, crashed.settings, crashed.folder.path(), crashed.view,
      crashed.diagnostics, crashed.prompt, EngineHarness::everyTick());
  EXPECT_EQ(crashed.list(), whole.list());
  ASSERT_EQ(crashed.diagnostics.lines.size(), 1u);
  EXPECT_EQ(crashed.diagnostics.lines[0], "ZEruTestNew.htm: 2 rows of logged calls put back");
  // A second start finds nothing missing.
  crashed.engine.reset();
  EXPECT_EQ(
      restoreMissingRows(crashed.folder.path(), crashed.folder / "ZEruTestNew.htm", false).rows,
      0u);
  EXPECT_EQ(crashed.list(), whole.list());
}

}  // namespace
}  // namespace parvolin::engine::test
