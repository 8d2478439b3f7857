// Faults of emulated units as the recorder's link sees them.

#include <gmock/gmock.h>

#include "device/unit_link.h"
#include "sim/scenario.h"
#include "sim_test_support.h"

namespace parvolin::test {
namespace {

using device::D2xx;

sim::Scenario scenario(const std::string& text) {
  std::string error;
  auto s = sim::parseScenario(text, "test", ".", error);
  EXPECT_TRUE(s) << error;
  return s ? *s : sim::Scenario{};
}

class SimFaultsTest : public ::testing::Test {
 protected:
  void load(const std::string& text) {
    d2xx = std::make_unique<sim::SimD2xx>(scenario(text), clock);
    link = std::make_unique<device::UnitLink>(*d2xx, clock);
  }
  void runUntil(std::int64_t ms) { clock.advanceMs(ms - clock.monotonicMs()); }
  bool startStream(int unit) {
    return bool(link->writeStreamControl(device::protocol::kStreamStart, unit));
  }
  std::uint32_t read(int unit) { return link->readStream(buffer.data(), 2048, unit); }

  base::VirtualClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  std::unique_ptr<device::UnitLink> link;
  std::array<std::uint8_t, 2048> buffer{};
};

TEST_F(SimFaultsTest, UnplugFailsTheReadAndReopenWorksAfterReplug) {
  load(R"(
unit S1
unit S2
1  1/1 talk 30
5  1 unplug
8  1 replug
)");
  ASSERT_TRUE(link->openAll());
  ASSERT_TRUE(startStream(0));
  runUntil(2000);
  EXPECT_GT(read(0), 0u);

  runUntil(5000);
  EXPECT_EQ(read(0), 0u);
  EXPECT_FALSE(link->isPresent(0));
  std::uint32_t count = 0;
  ASSERT_EQ(d2xx->listCount(count), D2xx::kOk);
  EXPECT_EQ(count, 1u) << "an unplugged unit leaves the listing";
  EXPECT_FALSE(link->reopenUnit(0));
  EXPECT_FALSE(link->readRegister(device::Register::kEncoderMode, 0));
  EXPECT_EQ(read(1), 0u) << "the other unit is not streaming but still present";
  EXPECT_TRUE(link->isPresent(1));

  runUntil(8000);
  ASSERT_TRUE(link->reopenUnit(0));
  EXPECT_TRUE(link->isPresent(0));
  EXPECT_EQ(d2xx->unit(0).streamControl(), 0) << "a re-plugged unit starts with its stream off";
  EXPECT_TRUE(startStream(0));
  EXPECT_TRUE(link->closeAll());
}

TEST_F(SimFaultsTest, UnansweredCommandFailsAfterTheBoundAndKeepsTheUnitPresent) {
  load("unit S1\n1 1 noanswer 3\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  const std::int64_t before = clock.monotonicMs();
  EXPECT_FALSE(link->readRegister(device::Register::kVarTimeout, 0));
  const std::int64_t spent = clock.monotonicMs() - before;
  EXPECT_GE(spent, 1001);
  EXPECT_LE(spent, 1010);
  EXPECT_TRUE(link->isPresent(0));

  runUntil(4000);
  const device::CommandReply timeout = link->readRegister(device::Register::kVarTimeout, 0);
  EXPECT_TRUE(timeout);
  EXPECT_EQ(timeout.value, 0x50);
}

TEST_F(SimFaultsTest, WrongAcknowledgeFailsButDeliversTheValue) {
  load("unit S1 offdelay=0x52\n1 1 wrongack 2 0x99\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  const device::CommandReply delay = link->readRegister(device::Register::kVarTurnOffDelay, 0);
  EXPECT_FALSE(delay);
  EXPECT_EQ(delay.value, 0x52);
  const device::CommandReply start = link->writeStreamControl(0x4D, 0);
  EXPECT_FALSE(start);
  EXPECT_EQ(start.value, 0x4D);
  EXPECT_EQ(link->readUnitNumber(0), std::nullopt);
}

TEST_F(SimFaultsTest, VersionArrivesInPiecesDuringADripAndByte13CanChange) {
  load("unit S1 number=0x01020304\n1 1 drip 5\n1 1 version13 0\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  const auto version = link->queryVersion(0);
  ASSERT_TRUE(version);
  EXPECT_EQ((*version)[0], 0xB5);
  EXPECT_EQ((*version)[13], '0');
  EXPECT_EQ((*version)[15], '2');
  EXPECT_EQ(link->readUnitNumber(0), 0x01020304u);
}

TEST_F(SimFaultsTest, StallHoldsTheStreamBackWithoutFailingTheRead) {
  load("unit S1\n0 1/2 talk 10 silence\n2 1 stall 3\n");
  ASSERT_TRUE(link->openAll());
  ASSERT_TRUE(startStream(0));
  runUntil(3000);
  EXPECT_EQ(read(0), 0u);
  EXPECT_TRUE(link->isPresent(0));
  runUntil(5000);
  EXPECT_EQ(read(0), 2048u) << "the backlog of the stall arrives";
}

TEST_F(SimFaultsTest, BadPortByteReachesTheFraming) {
  load("unit S1\n1 1/1 ring\n2 1 badport 9\n3 1/1 ring\n");
  ASSERT_TRUE(link->openAll());
  ASSERT_TRUE(startStream(0));
  runUntil(4000);
  StreamTally tally;
  const std::uint32_t n = read(0);
  tally.feed(buffer.data(), n);
  EXPECT_EQ(tally.count(device::kRingEvent), 1u);
  EXPECT_EQ(tally.badPortBytes, 4u) << "the bad record and the ring after it in the same read";
}

TEST_F(SimFaultsTest, RegisterCommandsWorkWhileFourPortsStream) {
  load("unit S1 threshold=0x51\n0 1/1 talk 20\n0 1/2 talk 20\n0 1/3 talk 20\n0 1/4 talk 20\n");
  ASSERT_TRUE(link->openAll());
  ASSERT_TRUE(startStream(0));
  for (int i = 0; i < 20; ++i) {
    runUntil(clock.monotonicMs() + 250);
    const device::CommandReply threshold = link->readRegister(device::Register::kVarThreshold, 0);
    ASSERT_TRUE(threshold) << i;
    EXPECT_EQ(*threshold, 0x51);
  }
  const auto version = link->queryVersion(0);
  ASSERT_TRUE(version);
  EXPECT_EQ((*version)[0], 0xB5);
}

TEST_F(SimFaultsTest, GarbageBytesArriveAsTheyAre) {
  load("unit S1\n1 1 garbage 300\n");
  ASSERT_TRUE(link->openAll());
  runUntil(2000);
  EXPECT_EQ(read(0), 300u) << "noise is sent whether or not the stream runs";
}

TEST_F(SimFaultsTest, OnlyTheFirstFourOfFiveUnitsAreServed) {
  load("unit A1\nunit A2\nunit A3\nunit A4\nunit A5\n");
  std::uint32_t count = 0;
  ASSERT_EQ(d2xx->listCount(count), D2xx::kOk);
  EXPECT_EQ(count, 5u);
  std::string serial;
  ASSERT_EQ(d2xx->listSerial(4, serial), D2xx::kOk);
  EXPECT_EQ(serial, "A5");
  ASSERT_TRUE(link->openAll());
  for (int u = 0; u < 4; ++u) {
    EXPECT_EQ(link->serial(u), "A" + std::to_string(u + 1));
    EXPECT_TRUE(link->isPresent(u));
  }
  D2xx::Handle h = 0;
  EXPECT_EQ(d2xx->openBySerial("A5", h), D2xx::kOk) << "the fifth is free to open";
  EXPECT_EQ(d2xx->openBySerial("A1", h), D2xx::kDeviceNotOpened) << "opened once at a time";
}

TEST(SimD2xxTest, EveryCallFailsCleanlyOnAHandleThatIsNotOpen) {
  base::VirtualClock clock;
  sim::SimD2xx d2xx(clock);
  sim::UnitConfig config;
  config.serial = "H1";
  d2xx.addUnit(config);
  D2xx::Handle h = 0;
  ASSERT_EQ(d2xx.openBySerial("H1", h), D2xx::kOk);
  ASSERT_EQ(d2xx.close(h), D2xx::kOk);
  std::uint8_t byte = 0;
  std::uint32_t n = 0;
  for (D2xx::Handle bad : {D2xx::Handle{0}, h, h + 100}) {
    EXPECT_NE(d2xx.purge(bad, 3), D2xx::kOk);
    EXPECT_NE(d2xx.setTimeouts(bad, 1, 0), D2xx::kOk);
    EXPECT_NE(d2xx.queueStatus(bad, n), D2xx::kOk);
    EXPECT_NE(d2xx.read(bad, &byte, 1, n), D2xx::kOk);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(d2xx.write(bad, &byte, 1, n), D2xx::kOk);
    EXPECT_NE(d2xx.close(bad), D2xx::kOk);
  }
  EXPECT_EQ(d2xx.openBySerial("", h), D2xx::kDeviceNotFound);
  EXPECT_EQ(d2xx.openBySerial("NOPE", h), D2xx::kDeviceNotFound);
}

}  // namespace
}  // namespace parvolin::test
