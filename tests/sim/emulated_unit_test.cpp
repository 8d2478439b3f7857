#include "sim/emulated_unit.h"

#include <gmock/gmock.h>

#include "device/stream_record.h"
#include "sim_test_support.h"

namespace parvolin::test {
namespace {

using device::protocol::Access;
using device::protocol::registerCode;
using device::protocol::registerFrame;
using device::protocol::streamControlFrame;
using device::protocol::versionFrame;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

sim::UnitConfig config(const std::string& serial, std::uint8_t mode = 3) {
  sim::UnitConfig c;
  c.serial = serial;
  c.registers.audioMode = mode;
  c.unitNumber = 0x12345678;
  return c;
}

sim::SimEvent talk(int port, std::int64_t atMs, std::int64_t durationMs) {
  sim::SimEvent e;
  e.kind = sim::SimEvent::Kind::Talk;
  e.port = port;
  e.atMs = atMs;
  e.durationMs = durationMs;
  return e;
}

using EmulatedUnitTest = SimUnitTest;

TEST_F(EmulatedUnitTest, AnswersEachCommandByteExactly) {
  sim::UnitConfig c = config("EXACT1");
  c.version[13] = '7';
  addUnit(c);
  const auto h = open("EXACT1");

  send(h, bytes(versionFrame()));
  EXPECT_THAT(receive(h, 40), ElementsAreArray(c.version));

  struct Case {
    Bytes frame;
    Bytes answer;
  };
  const Case cases[] = {
      {bytes(streamControlFrame(Access::kRead, 0)), {0x00, 0xB5}},
      {bytes(streamControlFrame(Access::kWrite, 0x4D)), {0x4D, 0xB5}},
      {bytes(streamControlFrame(Access::kRead, 0)), {0x4D, 0xB5}},
      {bytes(streamControlFrame(Access::kWrite, 0)), {0x00, 0xB5}},
      {bytes(registerFrame(0xF2, 0)), {0xB5, 3}},        // audio mode
      {bytes(registerFrame(0xF3, 0)), {0xB5, 0x53}},     // caller-ID mode
      {bytes(registerFrame(0xF4, 0)), {0xB5, 0x50}},     // VAR ports
      {bytes(registerFrame(0xF8, 0)), {0xB5, 0x52}},     // threshold
      {bytes(registerFrame(0xF9, 0)), {0xB5, 0x51}},     // turn-off delay
      {bytes(registerFrame(0xFA, 0)), {0xB5, 0x50}},     // time-out
      {bytes(registerFrame(0x79, 0x53)), {0xB5, 0x53}},  // write, answered with the value
      {bytes(registerFrame(0xF9, 0)), {0xB5, 0x53}},
      {bytes(registerFrame(0xD8, 0)), {0xB5, 0x78}},  // unit number, least significant byte
      {bytes(registerFrame(0xD9, 0)), {0xB5, 0x56}},
      {bytes(registerFrame(0xDA, 0)), {0xB5, 0x34}},
      {bytes(registerFrame(0xDB, 0)), {0xB5, 0x12}},
  };
  for (const Case& k : cases) {
    send(h, k.frame);
    EXPECT_EQ(receive(h, 8), k.answer) << "frame byte 4: " << int(k.frame[4]);
  }
}

TEST_F(EmulatedUnitTest, FramesSplitOverWritesAndNoiseBeforeThemAreUnderstood) {
  addUnit(config("SPLIT1"));
  const auto h = open("SPLIT1");
  const Bytes frame = bytes(registerFrame(0xF2, 0));
  send(h, {0x00, 0xFD, 0x13});  // noise, then a frame in three pieces
  send(h, Bytes(frame.begin(), frame.begin() + 2));
  EXPECT_TRUE(receive(h, 2).empty());
  send(h, Bytes(frame.begin() + 2, frame.begin() + 5));
  send(h, Bytes(frame.begin() + 5, frame.end()));
  EXPECT_THAT(receive(h, 2), ElementsAre(0xB5, 3));
}

TEST_F(EmulatedUnitTest, SettingsTakeEffectFromTheNextPowerCycle) {
  sim::EmulatedUnit& unit = addUnit(config("POWER1", 3));
  const auto h = open("POWER1");
  send(h, bytes(registerFrame(registerCode(0x72, Access::kWrite), 1)));
  EXPECT_THAT(receive(h, 2), ElementsAre(0xB5, 1));
  EXPECT_EQ(unit.storedRegisters().audioMode, 1);
  EXPECT_EQ(unit.activeRegisters().audioMode, 3);
  send(h, bytes(streamControlFrame(Access::kWrite, 0x4D)));
  receive(h, 2);

  // Still mode 3: a block every 64 ms.
  unit.schedule(talk(0, 0, 1000));
  clock.advanceMs(1000);
  unit.advance();
  EXPECT_EQ(unit.audioBlocksQueued(), 15u);

  unit.powerCycle();
  EXPECT_EQ(unit.activeRegisters().audioMode, 1);
  EXPECT_EQ(unit.streamControl(), 0) << "a power cycle stops the stream";
  EXPECT_EQ(unit.queuedStreamBytes(), 0u);
}

TEST_F(EmulatedUnitTest, CommandAnswerGoesAheadOfQueuedStreamBytes) {
  sim::EmulatedUnit& unit = addUnit(config("BUSY1"));
  const auto h = open("BUSY1");
  send(h, bytes(streamControlFrame(Access::kWrite, 0x4D)));
  receive(h, 2);
  unit.schedule(talk(2, 0, 60'000));
  clock.advanceMs(500);
  receive(h, 100);  // the host is in the middle of a record
  send(h, bytes(registerFrame(0xF2, 0)));
  EXPECT_THAT(receive(h, 2), ElementsAre(0xB5, 3));
  // The stream goes on where it stopped: the rest of the record, then whole records.
  StreamTally tally;
  tally.buffer.bytes[0] = 2;  // the carried start of the interrupted record
  tally.buffer.bytes[1] = device::kAudioEvent;
  tally.buffer.writePos = 100;
  const Bytes rest = receive(h, 4000);
  tally.feed(rest.data(), rest.size());
  EXPECT_EQ(tally.badPortBytes, 0u);
  EXPECT_GE(tally.records[2][device::kAudioEvent], 7u);
}

TEST_F(EmulatedUnitTest, QueueOverflowDropsWholeRecordsAndCountsThem) {
  sim::UnitConfig c = config("FULL1");
  c.queueCapacity = 4096;
  sim::EmulatedUnit& unit = addUnit(c);
  const auto h = open("FULL1");
  send(h, bytes(streamControlFrame(Access::kWrite, 0x4D)));
  receive(h, 2);
  unit.schedule(talk(1, 0, 10'000));
  clock.advanceMs(10'000);
  std::uint32_t waiting = 0;
  ASSERT_EQ(d2xx.queueStatus(h, waiting), device::D2xx::kOk);

  const std::uint64_t produced = 10'000 * 8 / 512;
  const std::uint64_t kept = 4096 / 514;
  EXPECT_EQ(waiting, kept * 514);
  EXPECT_EQ(unit.droppedRecords(), produced - kept);
  EXPECT_EQ(unit.droppedBytes(), (produced - kept) * 514);

  StreamTally tally;
  const Bytes all = receive(h, waiting);
  tally.feed(all.data(), all.size());
  EXPECT_EQ(tally.count(device::kAudioEvent), kept);
  EXPECT_EQ(tally.buffer.writePos, 0u) << "no record was cut";
}

TEST_F(EmulatedUnitTest, AudioBlockRatePerModeFollowsVirtualTime) {
  struct Case {
    std::uint8_t mode;
    std::uint64_t blocksIn10s;  // 80000 samples per port
  };
  const Case cases[] = {{0, 156}, {1, 39}, {2, 58}, {3, 156}};
  for (const Case& k : cases) {
    base::VirtualClock c;
    sim::SimD2xx d(c);
    sim::UnitConfig c10 = config("RATE", k.mode);
    c10.queueCapacity = 1 << 20;
    sim::EmulatedUnit& unit = d.addUnit(c10);
    unit.receive(bytes(streamControlFrame(Access::kWrite, 0x4D)));
    unit.schedule(talk(3, 0, 10'000));
    for (int ms = 0; ms < 12'000; ms += 7) {  // uneven steps must not change the count
      c.advanceMs(7);
      unit.advance();
    }
    EXPECT_EQ(unit.audioBlocksQueued(), k.blocksIn10s) << "mode " << int(k.mode);
  }
}

TEST_F(EmulatedUnitTest, TenMinutesOfFourPortsInMode3ReadEvery65Ms) {
  sim::EmulatedUnit& unit = addUnit(config("LONG1", 3));
  const auto h = open("LONG1");
  send(h, bytes(streamControlFrame(Access::kWrite, 0x4D)));
  receive(h, 2);
  for (int port = 0; port < 4; ++port) {
    sim::SimEvent e = talk(port, 0, 600'000);
    e.source.kind = sim::AudioSourceSpec::Kind::Silence;
    unit.schedule(e);
  }

  StreamTally tally;
  Bytes buffer(70'000);
  while (clock.monotonicMs() < 601'000) {
    clock.advanceMs(65);
    std::uint32_t waiting = 0, got = 0;
    ASSERT_EQ(d2xx.queueStatus(h, waiting), device::D2xx::kOk);
    if (waiting == 0) continue;
    ASSERT_EQ(d2xx.read(h, buffer.data(), waiting, got), device::D2xx::kOk);
    tally.feed(buffer.data(), got);
  }
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(tally.records[port][device::kAudioEvent], 600'000u * 8 / 512) << "port " << port;
  }
  EXPECT_EQ(unit.droppedBytes(), 0u);
  EXPECT_EQ(tally.badPortBytes, 0u);
}

TEST_F(EmulatedUnitTest, NothingIsStreamedWhileTheControlByteIsNot4D) {
  sim::EmulatedUnit& unit = addUnit(config("QUIET1"));
  const auto h = open("QUIET1");
  unit.schedule(talk(0, 0, 5'000));
  clock.advanceMs(5'000);
  std::uint32_t waiting = 1;
  ASSERT_EQ(d2xx.queueStatus(h, waiting), device::D2xx::kOk);
  EXPECT_EQ(waiting, 0u);
}

}  // namespace
}  // namespace parvolin::test
