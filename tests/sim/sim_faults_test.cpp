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
    std::uint8_t on = 0x4D;
    return link->streamControl(false, on, unit);
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
  EXPECT_EQ(link->present[0], 0u);
  std::uint32_t count = 0;
  ASSERT_EQ(d2xx->listCount(count), D2xx::kOk);
  EXPECT_EQ(count, 1u) << "an unplugged unit leaves the listing";
  EXPECT_FALSE(link->reopenUnit(0));
  std::uint8_t value = 0;
  EXPECT_FALSE(link->encoderMode(true, value, 0));
  EXPECT_EQ(read(1), 0u) << "the other unit is not streaming but still present";
  EXPECT_EQ(link->present[1], 1u);

  runUntil(8000);
  ASSERT_TRUE(link->reopenUnit(0));
  EXPECT_EQ(link->present[0], 1u);
  EXPECT_EQ(d2xx->unit(0).streamControl(), 0) << "a re-plugged unit starts with its stream off";
  EXPECT_TRUE(startStream(0));
  EXPECT_TRUE(link->closeAll());
}

TEST_F(SimFaultsTest, UnansweredCommandFailsAfterTheBoundAndKeepsTheUnitPresent) {
  load("unit S1\n1 1 noanswer 3\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  std::uint8_t value = 0;
  const std::int64_t before = clock.monotonicMs();
  EXPECT_FALSE(link->varTimeout(true, value, 0));
  const std::int64_t spent = clock.monotonicMs() - before;
  EXPECT_GE(spent, 1001);
  EXPECT_LE(spent, 1010);
  EXPECT_EQ(link->present[0], 1u);

  runUntil(4000);
  EXPECT_TRUE(link->varTimeout(true, value, 0));
  EXPECT_EQ(value, 0x50);
}

TEST_F(SimFaultsTest, WrongAcknowledgeFailsButDeliversTheValue) {
  load("unit S1 offdelay=0x52\n1 1 wrongack 2 0x99\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  std::uint8_t value = 0;
  EXPECT_FALSE(link->varTurnOffDelay(true, value, 0));
  EXPECT_EQ(value, 0x52);
  value = 0x4D;
  EXPECT_FALSE(link->streamControl(false, value, 0));
  EXPECT_EQ(value, 0x4D);
  std::uint32_t number = 7;
  EXPECT_FALSE(link->readUnitNumber(number, 0));
  EXPECT_EQ(number, 7u);
}

TEST_F(SimFaultsTest, VersionArrivesInPiecesDuringADripAndByte13CanChange) {
  load("unit S1 number=0x01020304\n1 1 drip 5\n1 1 version13 0\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  std::array<std::uint8_t, 34> version{};
  ASSERT_TRUE(link->queryVersion(version.data(), 0));
  EXPECT_EQ(version[0], 0xB5);
  EXPECT_EQ(version[13], '0');
  EXPECT_EQ(version[15], '2');
  std::uint32_t number = 0;
  ASSERT_TRUE(link->readUnitNumber(number, 0));
  EXPECT_EQ(number, 0x01020304u);
}

TEST_F(SimFaultsTest, StallHoldsTheStreamBackWithoutFailingTheRead) {
  load("unit S1\n0 1/2 talk 10 silence\n2 1 stall 3\n");
  ASSERT_TRUE(link->openAll());
  ASSERT_TRUE(startStream(0));
  runUntil(3000);
  EXPECT_EQ(read(0), 0u);
  EXPECT_EQ(link->present[0], 1u);
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
    std::uint8_t value = 0;
    ASSERT_TRUE(link->varThreshold(true, value, 0)) << i;
    EXPECT_EQ(value, 0x51);
  }
  std::array<std::uint8_t, 34> version{};
  EXPECT_TRUE(link->queryVersion(version.data(), 0));
  EXPECT_EQ(version[0], 0xB5);
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
    EXPECT_EQ(std::string(link->serial[u].data()), "A" + std::to_string(u + 1));
    EXPECT_EQ(link->present[u], 1u);
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
