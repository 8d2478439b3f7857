#include <gtest/gtest.h>

#include "device/unit_protocol.h"
#include "engine_harness.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"
#include "support/unit_link_fixture.h"

namespace parvolin::engine::test {
namespace {

Bytes audioRun(int port, int blocks) {
  Bytes out;
  for (int i = 0; i < blocks; ++i) out = out + audio(port, std::uint8_t(i));
  return out;
}

TEST(UnitPass, ReadsAgainWhileReadsComeBackFullUpToEight) {
  struct Case {
    std::vector<std::size_t> reads;  // sizes of the queued reads
    int readsInFirstPass;
  };
  const std::vector<Case> cases = {
      {{2048, 2048, 100, 2048}, 3},  // stops at the first short read
      {{100, 2048}, 1},
      {std::vector<std::size_t>(10, 2048), 8},  // at most eight a pass
      {{2048}, 2},                              // the read after a full one may find nothing
  };
  for (const Case& c : cases) {
    EngineHarness h;
    for (std::size_t size : c.reads) h.streams.chunks[0].push_back(Bytes(size, 0));
    h.engine->onPollTick();
    EXPECT_EQ(h.streams.reads[0], c.readsInFirstPass);
  }
}

TEST(UnitPass, FourPortsAtFullRateLoseNothingAt65MsTicks) {
  // Four ports in mode 0 or 3 send 4 x 8000 bytes of audio a second plus the record heads:
  // more than one 2048-byte read per 65 ms tick can carry.
  EngineHarness h;
  Bytes second;
  for (int b = 0; b < 16; ++b) {
    for (int p = 0; p < 4; ++p) second = second + audio(p, std::uint8_t(b));
  }
  std::deque<Bytes> pending;
  std::size_t sent = 0;
  for (int tick = 0; tick < 150; ++tick) {  // ten seconds of 65 ms ticks
    if (tick % 15 == 0) {
      h.streams.queue(0, second);
      sent += 64;
    }
    h.engine->onPollTick();
  }
  EXPECT_TRUE(h.streams.chunks[0].empty()) << "the unit's queue was drained";
  h.feed(callEnd(0) + callEnd(1) + callEnd(2) + callEnd(3), kT1 + 20);
  std::size_t blocks = 0;
  for (const auto& [name, data] : folderContents(h.folder.path())) {
    if (name.ends_with(".LV3")) blocks += data.size() / 512;
  }
  EXPECT_EQ(blocks, sent);
}

TEST(UnitPass, ClockIsTakenOncePerReadWhenItReturns) {
  EngineHarness h;
  h.streams.clock = &h.clock;
  h.streams.readCostMs = 1000;
  // The ring rides in the first read, the end in the third: each read returned a second later.
  h.streams.queue(0, ring(0) + audioRun(1, 8) + callEnd(0));
  h.engine->onPollTick();
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].startTime, kT1 + 1);
  EXPECT_EQ(h.log()[0].durationSec, 2);
}

TEST(UnitPass, LostUnitIsReopenedOnlyWhenThePassStartsWithNothing) {
  EngineHarness h;
  h.streams.present[0] = true;
  h.engine->onPollTick();  // nothing came, but the unit is there
  EXPECT_EQ(h.streams.reopens[0], 0);

  h.streams.present[0] = false;
  h.streams.chunks[0].push_back(Bytes(2048, 0));
  h.engine->onPollTick();  // the second read of the pass finds nothing
  EXPECT_EQ(h.streams.reopens[0], 0);

  h.streams.reopenWorks = false;
  h.engine->onPollTick();
  h.engine->onPollTick();
  EXPECT_EQ(h.streams.reopens[0], 2);
  EXPECT_EQ(h.streams.restarts[0], 0);
  h.streams.reopenWorks = true;
  h.engine->onPollTick();
  EXPECT_EQ(h.streams.reopens[0], 3);
  EXPECT_EQ(h.streams.restarts[0], 1);
  EXPECT_EQ(h.diagnostics.lines.size(), 2u);  // lost once, open again once
}

TEST(UnitPass, ReopenedUnitStartsWithoutTheRecordCutByTheLoss) {
  EngineHarness h;
  const Bytes block = audio(2, 0x44);
  h.streams.queue(0, Bytes(block.begin(), block.begin() + 300));
  h.engine->onPollTick();
  h.streams.present[0] = false;
  h.engine->onPollTick();  // reopened
  h.streams.queue(0, ring(0));
  h.engine->onPollTick();
  EXPECT_EQ(h.port(0).statusText(), " Port:  1          Ringing");
  EXPECT_EQ(h.port(2).record.callType, 0);
}

TEST(UnitPass, UnitsNotListedAreNeverRead) {
  EngineHarness h;
  h.streams.listed = {true, false, true, false};
  h.engine->onPollTick();
  EXPECT_EQ(h.streams.reads, (std::array<int, 4>{1, 0, 1, 0}));
  EXPECT_EQ(h.view.lines.size(), 16u);
}

// The live link: a reopened unit gets its stream started again.
using EngineOnUnitLink = parvolin::test::UnitLinkTest;

TEST_F(EngineOnUnitLink, RestartsTheStreamOfAReopenedUnit) {
  addUnit("A1");
  ASSERT_TRUE(link.openAll());
  RecorderSettings settings;
  TempFolder folder;
  NullEngineView view;
  parvolin::test::CollectingDiagnostics diagnostics;
  parvolin::test::ScriptedPrompt prompt;
  Engine engine(link, clock, settings, folder.path(), view, diagnostics, prompt);
  d2xx.failCall(parvolin::test::Call::kRead);  // the pass's read fails, which marks the unit lost
  clearLog();
  engine.onPollTick();
  EXPECT_TRUE(link.isPresent(0));
  const auto frames = d2xx.writes();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back(), (Bytes{0xFD, 0xFD, 0xF0, 0x42, 0x4D, 0xFD}));
}

}  // namespace
}  // namespace parvolin::engine::test
