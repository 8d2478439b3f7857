// The stream watch on its own: when it reads a quiet unit's stream control byte, and which
// verdict each state of a unit gives.

#include <gtest/gtest.h>

#include "engine/stream_watch.h"
#include "engine_harness.h"
#include "support/collecting_diagnostics.h"

namespace parvolin::engine::test {
namespace {

struct Watch {
  explicit Watch(bool watched = true) {
    if (watched) watch.watch(0);
  }
  // A pass of unit 1 after `ms` more.
  std::optional<CutOff> pass(std::int64_t ms, bool gotBytes, bool inRecordedCall,
                             PassReads reads = {}) {
    clock.advanceMs(ms);
    return watch.afterPass(0, reads, gotBytes, inRecordedCall);
  }
  base::VirtualClock clock;
  ::parvolin::test::CollectingDiagnostics diagnostics;
  ScriptedStreams streams;
  StreamWatch watch{streams, clock, diagnostics};
};

TEST(StreamWatchVerdict, QuietUnitIsAskedAfterItsPeriodAndAResetIsReported) {
  struct Case {
    const char* name;
    bool watched;
    bool inRecordedCall;
    std::optional<std::uint8_t> control;  // what the unit answers
    std::int64_t quietMs;
    int controlReads;
    std::optional<CutOff> verdict;
  };
  const Case cases[] = {
      {"recording, still streaming", true, true, 0x4D, kStalledStreamMs, 1, std::nullopt},
      {"recording, reset", true, true, 0, kStalledStreamMs, 1, CutOff::kReset},
      {"recording, not quiet long enough", true, true, 0, kStalledStreamMs - 1, 0, std::nullopt},
      {"idle, not quiet long enough", true, false, 0, kIdleStreamCheckMs - 1, 0, std::nullopt},
      {"idle, reset", true, false, 0, kIdleStreamCheckMs, 1, CutOff::kReset},
      {"no answer", true, true, std::nullopt, kStalledStreamMs, 1, std::nullopt},
      {"stream never started", false, true, 0, kIdleStreamCheckMs, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Watch w(c.watched);
    w.streams.streamControl[0] = c.control;
    EXPECT_EQ(w.pass(0, true, c.inRecordedCall), std::nullopt);
    EXPECT_EQ(w.pass(c.quietMs, false, c.inRecordedCall), c.verdict);
    EXPECT_EQ(w.streams.controlReads[0], c.controlReads);
    EXPECT_EQ(w.diagnostics.lines.size(), c.verdict ? 1u : 0u);
    if (c.verdict) {
      EXPECT_EQ(w.diagnostics.lines[0],
                "Unit1: had stopped streaming (it was reset); stream started again");
    }
  }
}

TEST(StreamWatchVerdict, BytesKeepAUnitFromBeingAskedAndAnAnswerStartsTheQuietAfresh) {
  Watch w;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(w.pass(kStalledStreamMs - 1, true, true), std::nullopt);
  EXPECT_EQ(w.streams.controlReads[0], 0);
  EXPECT_EQ(w.pass(kStalledStreamMs, false, true), std::nullopt);
  EXPECT_EQ(w.streams.controlReads[0], 1);
  EXPECT_EQ(w.pass(kStalledStreamMs - 1, false, true), std::nullopt);
  EXPECT_EQ(w.streams.controlReads[0], 1);
}

TEST(StreamWatchVerdict, LostUnitEndsItsCallsAfterThirtySecondsOrWhenItComesBack) {
  Watch gone;
  gone.streams.present[0] = false;
  const PassReads tried{1, true, false};
  EXPECT_EQ(gone.pass(0, false, true, tried), std::nullopt);
  EXPECT_EQ(gone.pass(kLostUnitCallsMs - 1, false, true, tried), std::nullopt);
  EXPECT_EQ(gone.pass(1, false, true, tried), CutOff::kGone);
  EXPECT_EQ(gone.streams.controlReads[0], 0) << "a lost unit is not asked";
  // The loss is reported once, however often the reopening is tried.
  EXPECT_EQ(gone.diagnostics.lines,
            (std::vector<std::string>{"Unit1: lost; trying to open it again"}));

  Watch back;
  back.streams.present[0] = false;
  EXPECT_EQ(back.pass(0, false, true, tried), std::nullopt);
  back.streams.present[0] = true;
  EXPECT_EQ(back.pass(1000, true, true, PassReads{2, true, true}), CutOff::kReopened);
  EXPECT_EQ(back.diagnostics.lines.back(), "Unit1: open again");
  // Back and streaming: it is watched as before, its quiet counted from its return.
  back.streams.streamControl[0] = 0;
  EXPECT_EQ(back.pass(kStalledStreamMs - 1, false, true), std::nullopt);
  EXPECT_EQ(back.pass(1, false, true), CutOff::kReset);
}

}  // namespace
}  // namespace parvolin::engine::test
