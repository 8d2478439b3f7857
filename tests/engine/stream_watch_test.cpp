// The stream watch: units that were reset, lost for good or lost and back, and those that are
// fine and must be left alone.

#include <gtest/gtest.h>

#include "engine_harness.h"

namespace parvolin::engine::test {
namespace {

const std::string kFirstFile = "w499602D2p0.LV3";

// Unit 1 set up and streaming, ticked on the virtual clock.
struct WatchedUnit : EngineHarness {
  WatchedUnit() { engine->watchStream(0); }
  void tick(std::int64_t ms) {
    clock.advanceMs(ms);
    engine->onPollTick();
  }
  bool reported(const std::string& a, const std::string& b = {}) const {
    for (const std::string& line : diagnostics.lines) {
      if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
    }
    return false;
  }
};

TEST(StreamWatch, ResetUnitHasItsCallEndedAndItsStreamStartedAgain) {
  WatchedUnit h;
  h.streams.queue(0, ring(0) + ring(1) + answering(0) + audio(0, 1) + audio(0, 2) + audio(0, 3));
  h.tick(0);
  ASSERT_TRUE(isRecordingShown(h.port(0)));
  h.streams.streamControl[0] = 0;  // the unit was reset: it says nothing any more
  h.tick(kStalledStreamMs - 1);
  EXPECT_EQ(h.streams.controlReads[0], 0);
  h.tick(1);
  EXPECT_EQ(h.streams.controlReads[0], 1);
  EXPECT_EQ(h.streams.restarts[0], 1);
  // The call is ended as the exit ends one: its audio in its file, no log record, no row.
  EXPECT_EQ(h.file(kFirstFile),
            std::string(512, '\x01') + std::string(512, '\x02') + std::string(512, '\x03'));
  EXPECT_TRUE(h.log().empty());
  EXPECT_TRUE(h.reported("Port 1: call cut off", kFirstFile));
  EXPECT_TRUE(h.reported("Port 2: call cut off"));
  EXPECT_TRUE(h.reported("Unit1", "reset"));
  for (int p : {0, 1}) {
    EXPECT_EQ(h.port(p).line, PortLine::kIdle);
    EXPECT_EQ(h.port(p).record.callType, kCallIdle);
  }
  // The port takes the next call.
  h.streams.queue(0, ring(0) + answering(0) + audio(0, 4) + callEnd(0));
  h.tick(35);
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].callType, 7);
}

TEST(StreamWatch, UnitThatSendsIsNeverAskedAndOneThatStillStreamsIsLeftAlone) {
  WatchedUnit h;
  h.streams.queue(0, answering(0) + audio(0, 1));
  h.tick(0);
  for (int i = 0; i < 300; ++i) {  // 19 s of audio, a block a tick
    h.streams.queue(0, audio(0, 2));
    h.tick(64);
  }
  EXPECT_EQ(h.streams.controlReads[0], 0);
  // Quiet for a while, but the unit still streams (a call whose audio paused): nothing changes.
  h.tick(kStalledStreamMs);
  EXPECT_EQ(h.streams.controlReads[0], 1);
  EXPECT_EQ(h.streams.restarts[0], 0);
  EXPECT_TRUE(isRecordingShown(h.port(0)));
  // ... and no answer at all changes nothing either; the next look comes a period later.
  h.streams.streamControl[0].reset();
  h.tick(kStalledStreamMs);
  h.tick(kStalledStreamMs - 1);
  EXPECT_EQ(h.streams.controlReads[0], 2);
  EXPECT_TRUE(isRecordingShown(h.port(0)));
}

TEST(StreamWatch, IdleUnitIsLookedAtEveryThirtySeconds) {
  WatchedUnit h;
  h.tick(35);
  h.tick(kIdleStreamCheckMs - 1);
  EXPECT_EQ(h.streams.controlReads[0], 0);
  h.tick(1);
  EXPECT_EQ(h.streams.controlReads[0], 1);
  h.streams.streamControl[0] = 0;
  h.tick(kIdleStreamCheckMs);
  EXPECT_EQ(h.streams.restarts[0], 1);
  EXPECT_TRUE(h.reported("Unit1", "reset"));
  EXPECT_FALSE(h.reported("cut off"));
}

TEST(StreamWatch, UnitWhoseStreamWasNeverStartedIsNotAsked) {
  EngineHarness h;
  h.clock.advanceMs(5 * kIdleStreamCheckMs);
  h.engine->onPollTick();
  h.clock.advanceMs(5 * kIdleStreamCheckMs);
  h.engine->onPollTick();
  EXPECT_EQ(h.streams.controlReads[0], 0);
}

TEST(StreamWatch, CallsOfAUnitLostForThirtySecondsAreEnded) {
  WatchedUnit h;
  h.streams.queue(0, answering(0) + audio(0, 1) + ring(2));
  h.tick(0);
  h.streams.present[0] = false;
  h.streams.reopenWorks = false;
  h.tick(35);
  h.tick(kLostUnitCallsMs - 1);
  EXPECT_TRUE(isRecordingShown(h.port(0)));
  h.tick(1);
  EXPECT_EQ(h.port(0).line, PortLine::kNone);
  EXPECT_EQ(h.port(2).line, PortLine::kNone);
  EXPECT_EQ(h.port(2).record.callType, kCallIdle);
  EXPECT_EQ(h.file(kFirstFile), std::string(512, '\x01'));
  EXPECT_TRUE(h.reported("Port 1: call cut off: Unit1 has been lost for 30 s", kFirstFile));
  EXPECT_TRUE(h.log().empty());
  // The unit is still looked for on every tick.
  const int reopens = h.streams.reopens[0];
  h.tick(35);
  EXPECT_EQ(h.streams.reopens[0], reopens + 1);
  EXPECT_EQ(h.streams.controlReads[0], 0);
}

TEST(StreamWatch, UnitThatComesBackStartsAfreshWithItsCallEnded) {
  WatchedUnit h;
  h.streams.queue(0, answering(0) + audio(0, 1));
  h.tick(0);
  h.streams.present[0] = false;
  h.tick(35);  // lost and, at once, opened again
  EXPECT_EQ(h.streams.reopens[0], 1);
  EXPECT_EQ(h.streams.restarts[0], 1);
  EXPECT_EQ(h.port(0).line, PortLine::kIdle);
  EXPECT_EQ(h.file(kFirstFile), std::string(512, '\x01'));
  EXPECT_TRUE(h.reported("Port 1: call cut off: Unit1 was lost and has been opened again"));
  h.streams.queue(0, answering(0) + audio(0, 2) + callEnd(0));
  h.tick(35);
  EXPECT_EQ(h.log().size(), 1u);
}

}  // namespace
}  // namespace parvolin::engine::test
