#include "device/unit_link.h"

#include <gtest/gtest.h>

#include "support/unit_link_fixture.h"

namespace parvolin::test {
namespace {

using device::D2xx;

TEST_F(UnitLinkTest, OpenAllStopsTheStreamThenDrainsInOrder) {
  addUnit("FT1");
  ASSERT_TRUE(link.openAll());
  std::vector<Call> calls;
  for (const auto& r : d2xx.log) calls.push_back(r.call);
  EXPECT_EQ(calls,
            (std::vector<Call>{Call::kListCount, Call::kListSerial, Call::kOpen, Call::kWrite,
                               Call::kRead, Call::kPurge, Call::kSetTimeouts, Call::kQueueStatus,
                               Call::kRead, Call::kQueueStatus, Call::kSetTimeouts}));
  EXPECT_EQ(d2xx.writes(), (std::vector<Bytes>{{0xFD, 0xFD, 0xF0, 0x42, 0x00, 0xFD}}));
  EXPECT_EQ(d2xx.log[5].wanted, D2xx::kPurgeRx | D2xx::kPurgeTx);
  EXPECT_EQ(d2xx.log[6].wanted, 10u);  // drain read time-out
  EXPECT_EQ(d2xx.log[8].wanted, 512u);
  EXPECT_EQ(d2xx.log[10].wanted, 1u);  // run read time-out
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(slot(0), "FT1");
}

TEST_F(UnitLinkTest, NoDeviceFailsAfterOneOpenOfTheEmptyFirstSlot) {
  EXPECT_FALSE(link.openAll());
  EXPECT_EQ(d2xx.count(Call::kOpen), 1);
  EXPECT_TRUE(d2xx.log.back().bytes.empty());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{}));
}

TEST_F(UnitLinkTest, ListingFailureOpensNothing) {
  addUnit("FT1");
  d2xx.failCall(Call::kListSerial);
  EXPECT_FALSE(link.openAll());
  EXPECT_EQ(d2xx.count(Call::kOpen), 0);
}

TEST_F(UnitLinkTest, OnlyTheFirstFourOfFiveDevicesAreServed) {
  for (const char* s : {"A", "B", "C", "D", "E"}) addUnit(s);
  ASSERT_TRUE(link.openAll());
  EXPECT_EQ(d2xx.count(Call::kListSerial), 4);
  EXPECT_EQ(d2xx.count(Call::kOpen), 4);
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 1, 1, 1}));
  EXPECT_EQ(slot(3), "D");
}

TEST_F(UnitLinkTest, FailingSecondUnitLeavesFirstOpenAndItsOwnSlotFilled) {
  addUnit("A");
  addUnit("B").openFails = true;
  addUnit("C");
  EXPECT_FALSE(link.openAll());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 0, 0, 0}));
  EXPECT_TRUE(link.isListed(1));
  EXPECT_EQ(d2xx.count(Call::kOpen), 2);  // unit 2 is not attempted

  // The unit comes good: a reopen gives it back, and a later openAll opens every unit again
  // although unit 0 was never closed in between.
  d2xx.device("B").openFails = false;
  EXPECT_TRUE(link.reopenUnit(1));
  EXPECT_TRUE(link.openAll());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 1, 1, 0}));
}

TEST_F(UnitLinkTest, OpenAllAfterAHalfFailedOneOpensUnitsThatMovedSlots) {
  addUnit("X").attached = false;
  addUnit("A");
  addUnit("B").openFails = true;
  EXPECT_FALSE(link.openAll());  // leaves A open in slot 0
  d2xx.device("X").attached = true;
  d2xx.device("B").openFails = false;
  EXPECT_TRUE(link.openAll());  // A is listed second now
  EXPECT_EQ(slot(1), "A");
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 1, 1, 0}));
}

// Serial numbers that do not fit a 10-byte slot are passed over; the slot is never written past.
TEST_F(UnitLinkTest, SerialsAreStoredOnlyWhenTheyFitTheirSlot) {
  struct Case {
    std::vector<std::string> listed;
    std::vector<std::string> slots;
  };
  const std::vector<Case> cases = {
      {{"123456789"}, {"123456789"}},
      {{"1234567890", "ABC"}, {"ABC"}},
      {{"", "ABC", "0123456789ABCDEF", "XYZ"}, {"ABC", "XYZ"}},
  };
  for (const auto& c : cases) {
    base::VirtualClock caseClock;
    ScriptedD2xx caseD2xx{caseClock};
    for (const auto& s : c.listed) caseD2xx.addDevice(s).onWrite = answerStreamControl;
    device::UnitLink caseLink{caseD2xx, caseClock};
    EXPECT_TRUE(caseLink.openAll());
    for (std::size_t u = 0; u < device::kMaxUnits; ++u) {
      const std::string want = u < c.slots.size() ? c.slots[u] : "";
      EXPECT_EQ(caseLink.serial(int(u)), want) << c.listed[0];
      EXPECT_LE(caseLink.serial(int(u)).size(), device::kMaxSerialLength);
    }
  }
}

TEST_F(UnitLinkTest, LaterListingOverwritesOnlyTheFirstSlots) {
  addUnit("A");
  addUnit("B");
  ASSERT_TRUE(link.openAll());
  ASSERT_TRUE(link.closeAll());
  EXPECT_EQ(slot(1), "B");
  d2xx.device("B").attached = false;
  EXPECT_TRUE(link.openAll());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(slot(1), "B");  // still polled, and reopened once it is back
  d2xx.device("B").attached = true;
  EXPECT_TRUE(link.reopenUnit(1));
}

TEST_F(UnitLinkTest, DrainOfAStreamingUnitEndsAfterItsBound) {
  addUnit("A").streaming = true;
  ASSERT_TRUE(link.openAll());
  clearLog();
  d2xx.device("A").streaming = true;
  ASSERT_TRUE(link.reopenUnit(0));
  EXPECT_EQ(reads(), 1 + device::kMaxDrainReads);
  EXPECT_EQ(d2xx.log.back().call, Call::kSetTimeouts);
  EXPECT_EQ(d2xx.log.back().wanted, 1u);
}

// A failure in any step of the drain fails the open. openAll has set the flag already; a reopen
// leaves it cleared.
TEST_F(UnitLinkTest, EveryDrainStepCanFailTheOpen) {
  for (Call step : {Call::kPurge, Call::kSetTimeouts, Call::kQueueStatus, Call::kRead}) {
    base::VirtualClock caseClock;
    ScriptedD2xx caseD2xx{caseClock};
    caseD2xx.addDevice("A").onWrite = answerStreamControl;
    device::UnitLink caseLink{caseD2xx, caseClock};
    // The stream control answer takes the first read.
    caseD2xx.failCall(step, step == Call::kRead ? 2 : 1);
    EXPECT_FALSE(caseLink.openAll()) << int(step);
    EXPECT_TRUE(caseLink.isPresent(0));
    caseD2xx.failCall(step);
    EXPECT_FALSE(caseLink.reopenUnit(0));
    EXPECT_FALSE(caseLink.isPresent(0));
    EXPECT_TRUE(caseLink.reopenUnit(0));
  }
}

TEST_F(UnitLinkTest, ReopenClosesTheStaleHandleFirstAndLeavesTheStreamAlone) {
  addUnit("A");
  ASSERT_TRUE(link.openAll());
  const D2xx::Handle stale = link.handle(0);
  d2xx.failCall(Call::kRead);
  std::array<std::uint8_t, 2048> buffer{};
  EXPECT_EQ(link.readStream(buffer.data(), buffer.size(), 0), 0u);
  EXPECT_FALSE(link.isPresent(0));

  clearLog();
  ASSERT_TRUE(link.reopenUnit(0));
  EXPECT_EQ(d2xx.log[0].call, Call::kClose);
  EXPECT_EQ(d2xx.log[0].handle, stale);
  EXPECT_NE(link.handle(0), stale);
  EXPECT_TRUE(link.isPresent(0));
  EXPECT_TRUE(d2xx.writes().empty());
  EXPECT_EQ(d2xx.device("A").openHandles, 1);
}

TEST_F(UnitLinkTest, ReopenOfAnUnpluggedUnitKeepsFailingUntilItIsBack) {
  addUnit("A");
  ASSERT_TRUE(link.openAll());
  d2xx.device("A").attached = false;
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(link.readStream(buffer.data(), buffer.size(), 0), 0u);
  EXPECT_FALSE(link.isPresent(0));
  EXPECT_FALSE(link.reopenUnit(0));
  EXPECT_FALSE(link.reopenUnit(0));
  EXPECT_EQ(d2xx.count(Call::kClose), 1);  // the stale handle, once
  d2xx.device("A").attached = true;
  EXPECT_TRUE(link.reopenUnit(0));
  EXPECT_EQ(d2xx.device("A").openHandles, 1);
}

TEST_F(UnitLinkTest, CloseAllClosesPresentUnitsAndKeepsSerials) {
  addUnit("A");
  addUnit("B");
  ASSERT_TRUE(link.openAll());
  d2xx.failCall(Call::kClose, 2);
  EXPECT_FALSE(link.closeAll());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 1, 0, 0}));
  // Trying again closes only what is still open.
  clearLog();
  EXPECT_TRUE(link.closeAll());
  EXPECT_EQ(d2xx.count(Call::kClose), 1);
  EXPECT_EQ(d2xx.log[0].handle, link.handle(1));
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{}));
  EXPECT_EQ(slot(0), "A");
  EXPECT_EQ(slot(1), "B");
}

TEST_F(UnitLinkTest, ReadStreamReadsForAboutTwoMilliseconds) {
  addUnit("A");
  ASSERT_TRUE(link.openAll());
  std::array<std::uint8_t, 2048> buffer{};

  struct Case {
    std::vector<Bytes> chunks;
    std::uint32_t returned;
    int reads;
    std::int64_t elapsedMs;
  };
  const std::vector<Case> cases = {
      {{Bytes(2048, 1)}, 2048, 1, 0},  // all at once
      {{Bytes(1000, 1), Bytes(1048, 2)}, 2048, 2, 1},
      {{}, 0, 2, 2},                                       // nothing: present stays 1
      {{Bytes(1, 1), Bytes(1, 2), Bytes(1, 3)}, 2, 2, 2},  // slow drip
  };
  for (const auto& c : cases) {
    d2xx.device("A").chunks.assign(c.chunks.begin(), c.chunks.end());
    clearLog();
    const std::int64_t start = clock.monotonicMs();
    EXPECT_EQ(link.readStream(buffer.data(), buffer.size(), 0), c.returned);
    EXPECT_EQ(reads(), c.reads);
    EXPECT_EQ(clock.monotonicMs() - start, c.elapsedMs);
    EXPECT_TRUE(link.isPresent(0));
  }
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 2);
}

TEST_F(UnitLinkTest, FailedStreamReadDropsTheBytesAndClearsPresent) {
  addUnit("A");
  ASSERT_TRUE(link.openAll());
  d2xx.queue("A", {1, 2});
  d2xx.failCall(Call::kRead, 2);
  std::array<std::uint8_t, 8> buffer{};
  EXPECT_EQ(link.readStream(buffer.data(), buffer.size(), 0), 0u);
  EXPECT_FALSE(link.isPresent(0));
}

// Units never opened, closed units and indexes out of range fail cleanly; calls on a closed
// unit never reach the handle it had.
TEST_F(UnitLinkTest, CallsOnUnitsThatAreNotOpenFailCleanly) {
  addUnit("A");
  std::array<std::uint8_t, 64> buffer{};
  for (int unit : {-1, 1, 4}) {
    EXPECT_EQ(link.readStream(buffer.data(), buffer.size(), unit), 0u);
    EXPECT_FALSE(link.readStreamControl(unit));
    EXPECT_FALSE(link.readRegister(device::Register::kEncoderMode, unit));
    EXPECT_FALSE(link.queryVersion(unit));
    EXPECT_FALSE(link.readUnitNumber(unit));
    EXPECT_FALSE(link.reopenUnit(unit));
  }
  EXPECT_TRUE(link.closeAll());

  ASSERT_TRUE(link.openAll());
  ASSERT_TRUE(link.closeAll());
  clearLog();
  EXPECT_FALSE(link.readStreamControl(0));
  EXPECT_EQ(link.readStream(buffer.data(), buffer.size(), 0), 0u);
  for (const auto& r : d2xx.log) EXPECT_EQ(r.handle, 0u);
}

}  // namespace
}  // namespace parvolin::test
