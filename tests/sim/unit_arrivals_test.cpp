// Units plugged in while the recorder runs, as the link and the emulated units see them: which
// slot a unit takes, and that a unit keeps it by its serial number.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "device/unit_link.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "sim/sim_notifications.h"

namespace parvolin::test {
namespace {

class UnitArrivalsTest : public ::testing::Test {
 protected:
  void load(const std::string& text) {
    std::string error;
    auto scenario = sim::parseScenario(text, "test", ".", error);
    ASSERT_TRUE(scenario) << error;
    d2xx = std::make_unique<sim::SimD2xx>(*scenario, clock);
    link = std::make_unique<device::UnitLink>(*d2xx, clock);
  }
  void runUntil(std::int64_t ms) { clock.advanceMs(ms - clock.monotonicMs()); }
  std::array<std::string, 4> slots() const {
    std::array<std::string, 4> s;
    for (int u = 0; u < 4; ++u) s[std::size_t(u)] = std::string(link->serial(u));
    return s;
  }

  base::VirtualClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  std::unique_ptr<device::UnitLink> link;
};

TEST(ScenarioPlug, AUnitWhoseFirstPlugEventIsPlugIsAbsentAtTheStart) {
  struct Case {
    const char* text;
    std::vector<bool> pluggedAtStart;
  };
  const Case cases[] = {
      {"unit A\nunit B\n10 B plug\n", {true, false}},
      {"unit A\n3 A unplug\n5 A plug\n", {true}},  // plugged back in: there at the start
      {"unit A\n5 A plug\n3 A unplug\n", {true}},  // by time, not by line
      {"unit A\n2 A plug\n4 A unplug\n6 A replug\n", {false}},
      {"unit A\nunit B\n1 2 plug\n", {true, false}},  // by number
  };
  for (const Case& c : cases) {
    std::string error;
    const auto scenario = sim::parseScenario(c.text, "t", ".", error);
    ASSERT_TRUE(scenario) << c.text << error;
    std::vector<bool> plugged;
    for (const auto& u : scenario->units) plugged.push_back(u.config.pluggedAtStart);
    EXPECT_EQ(plugged, c.pluggedAtStart) << c.text;
  }
  std::string error;
  EXPECT_FALSE(sim::parseScenario("unit A\n1 A plug now\n", "t.scn", ".", error));
  EXPECT_EQ(error, "t.scn:2: plug takes no arguments");
}

TEST_F(UnitArrivalsTest, AUnitPluggedInLaterIsListedAndAnnouncedOnlyFromThen) {
  load("unit A\nunit B\n10 B plug\n");
  sim::SimNotifications notifications(*d2xx);
  std::uint32_t count = 0;
  ASSERT_EQ(d2xx->listCount(count), device::D2xx::kOk);
  EXPECT_EQ(count, 1u);
  EXPECT_FALSE(notifications.deviceAdded());
  runUntil(9999);
  EXPECT_FALSE(notifications.deviceAdded());
  runUntil(10000);
  EXPECT_TRUE(notifications.deviceAdded());
  EXPECT_FALSE(notifications.deviceAdded()) << "announced once";
  ASSERT_EQ(d2xx->listCount(count), device::D2xx::kOk);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(d2xx->unit(1).streamControl(), 0) << "it comes up with its stream off";
}

TEST_F(UnitArrivalsTest, ANewUnitTakesTheFirstSlotNeverListedAndIsOpenedStoppedAndDrained) {
  load("unit A\nunit B\nunit C\n5 C plug\n1 C/1 talk 30\n");
  ASSERT_TRUE(link->openAll());
  EXPECT_TRUE(link->openArrivedUnits().empty()) << "nothing new";
  runUntil(5000);
  EXPECT_EQ(link->openArrivedUnits(), std::vector<int>{2});
  EXPECT_EQ(slots(), (std::array<std::string, 4>{"A", "B", "C", ""}));
  EXPECT_TRUE(link->isPresent(2));
  EXPECT_EQ(d2xx->unit(2).streamControl(), 0);
  EXPECT_TRUE(link->readRegister(device::Register::kEncoderMode, 2)) << "it answers commands";
  EXPECT_TRUE(link->openArrivedUnits().empty()) << "opened once";
}

TEST_F(UnitArrivalsTest, WithoutUnitsAtTheStartTheFirstToArriveIsUnitOne) {
  load("unit A\n10 A plug\n");
  EXPECT_FALSE(link->openAll());
  runUntil(10000);
  EXPECT_EQ(link->openArrivedUnits(), std::vector<int>{0});
  EXPECT_TRUE(link->isPresent(0));
}

// A unit keeps its number by its serial number: one that was lost comes back into its own slot
// (the recorder's pass reopens it), and a new unit never takes the slot of one that is away.
TEST_F(UnitArrivalsTest, AUnitAwayKeepsItsSlotAndANewUnitTakesTheNextOne) {
  load("unit A\nunit B\nunit C\n2 A unplug\n4 C plug\n6 A replug\n");
  ASSERT_TRUE(link->openAll());
  runUntil(4000);
  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(link->readStream(buffer.data(), buffer.size(), 0), 0u);
  EXPECT_FALSE(link->isPresent(0));
  EXPECT_EQ(link->openArrivedUnits(), std::vector<int>{2});
  runUntil(6000);
  EXPECT_TRUE(link->openArrivedUnits().empty()) << "A is no new unit";
  EXPECT_TRUE(link->reopenUnit(0));
  EXPECT_EQ(slots(), (std::array<std::string, 4>{"A", "B", "C", ""}));
}

TEST_F(UnitArrivalsTest, AUnitThatCannotBeOpenedGivesItsSlotBackAndIsTriedAgain) {
  load("unit A\nunit B\n3 B plug\n");
  ASSERT_TRUE(link->openAll());
  runUntil(3000);
  // Someone else holds B: the emulated driver opens a unit once.
  device::D2xx::Handle other = 0;
  ASSERT_EQ(d2xx->openBySerial("B", other), device::D2xx::kOk);
  EXPECT_TRUE(link->openArrivedUnits().empty());
  EXPECT_FALSE(link->isListed(1));
  ASSERT_EQ(d2xx->close(other), device::D2xx::kOk);
  EXPECT_EQ(link->openArrivedUnits(), std::vector<int>{1});
}

TEST_F(UnitArrivalsTest, AFifthUnitIsPassedOverAndAForgottenSlotIsFreeAgain) {
  load("unit A\nunit B\nunit C\nunit D\nunit E\n1 E plug\n");
  ASSERT_TRUE(link->openAll());
  runUntil(1000);
  EXPECT_TRUE(link->openArrivedUnits().empty());
  EXPECT_EQ(slots(), (std::array<std::string, 4>{"A", "B", "C", "D"}));
  link->forgetUnit(2);
  EXPECT_FALSE(link->isListed(2));
  EXPECT_FALSE(link->isPresent(2));
  // C, listed before E, is no longer held by a slot: it is taken as arrived.
  EXPECT_EQ(link->openArrivedUnits(), std::vector<int>{2});
  EXPECT_EQ(slots(), (std::array<std::string, 4>{"A", "B", "C", "D"}));
}

}  // namespace
}  // namespace parvolin::test
