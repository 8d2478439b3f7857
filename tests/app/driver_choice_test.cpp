#include "app/driver_choice.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

namespace parvolin::test {
namespace {

using app::DriverKind;
using app::TimeMode;

TEST(DriverChoiceTest, TakesItsOptionsAndLeavesTheOthers) {
  struct Case {
    std::vector<std::string> args;
    DriverKind kind;
    std::string scenario;
    TimeMode time;
    std::size_t usbIds;
    std::vector<std::string> rest;
  };
  const Case cases[] = {
      {{}, DriverKind::kFtdi, "", TimeMode::kDefault, 0, {}},
      {{"--driver", "d2xx", "--seconds", "5"},
       DriverKind::kVendorLibrary,
       "",
       TimeMode::kDefault,
       0,
       {"--seconds", "5"}},
      {{"--driver=sim", "--realtime"}, DriverKind::kSim, "", TimeMode::kRealtime, 0, {}},
      {{"--simulate"}, DriverKind::kSim, "", TimeMode::kDefault, 0, {}},
      {{"x", "--simulate=a.scenario", "--virtual"},
       DriverKind::kSim,
       "a.scenario",
       TimeMode::kVirtual,
       0,
       {"x"}},
      {{"--driver", "sim", "--simulate=b"}, DriverKind::kSim, "b", TimeMode::kDefault, 0, {}},
      {{"--usb-id", "1234:abcd", "--usb-id=0403:6001"},
       DriverKind::kFtdi,
       "",
       TimeMode::kDefault,
       2,
       {}},
  };
  for (const Case& k : cases) {
    std::vector<std::string> args = k.args;
    app::DriverOptions options;
    std::string error;
    ASSERT_TRUE(app::takeDriverOptions(args, options, error)) << error;
    EXPECT_EQ(options.kind, k.kind);
    EXPECT_EQ(options.scenario, k.scenario);
    EXPECT_EQ(options.time, k.time);
    EXPECT_EQ(options.usbIds.size(), k.usbIds);
    EXPECT_EQ(args, k.rest);
  }
  std::vector<std::string> args = {"--usb-id", "1234:ABCD"};
  app::DriverOptions options;
  std::string error;
  ASSERT_TRUE(app::takeDriverOptions(args, options, error));
  EXPECT_EQ(options.usbIds[0], std::make_pair(std::uint16_t{0x1234}, std::uint16_t{0xABCD}));
}

TEST(DriverChoiceTest, RejectsBadValuesAndContradictions) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--driver", "serial"}, "unknown driver 'serial'"},
      {{"--driver"}, "--driver needs"},
      {{"--usb-id", "0403"}, "--usb-id needs VID:PID"},
      {{"--usb-id", "12345:1"}, "--usb-id needs VID:PID"},
      {{"--usb-id", "zz:10"}, "--usb-id needs VID:PID"},
      {{"--driver", "ftdi", "--simulate"}, "cannot go with another --driver"},
      {{"--virtual"}, "--virtual needs emulated units"},
      {{"--simulate="}, "--simulate= needs a file"},
      {{"--simulate", "--realtime", "--virtual"}, "--realtime and --virtual contradict"},
      {{"--simulate", "--virtual", "--realtime"}, "--realtime and --virtual contradict"},
  };
  for (const auto& [args, message] : cases) {
    std::vector<std::string> a = args;
    app::DriverOptions options;
    std::string error;
    EXPECT_FALSE(app::takeDriverOptions(a, options, error)) << message;
    EXPECT_THAT(error, ::testing::HasSubstr(message));
  }
}

TEST(DriverChoiceTest, EmulatedUnitsRunOnAVirtualClockUnlessRealtime) {
  app::DriverOptions options;
  options.kind = DriverKind::kSim;
  options.scenario = PARVOLIN_SOURCE_DIR "/data/demo.scenario";
  std::string error;
  auto driver = app::makeDriver(options, error);
  ASSERT_TRUE(driver) << error;
  EXPECT_NE(driver->sim, nullptr);
  EXPECT_NE(driver->virtualClock, nullptr);
  EXPECT_EQ(driver->sim->unitCount(), 2u);
  EXPECT_GT(driver->scenarioEndMs, 50'000);

  options.time = TimeMode::kRealtime;
  driver = app::makeDriver(options, error);
  ASSERT_TRUE(driver) << error;
  EXPECT_EQ(driver->virtualClock, nullptr);

  options.scenario = "/nonexistent/x.scenario";
  EXPECT_FALSE(app::makeDriver(options, error));
  EXPECT_THAT(error, ::testing::HasSubstr("cannot read the scenario"));
}

TEST(DriverChoiceTest, HardwareDriversNeverFallBackToEmulatedUnits) {
  for (DriverKind kind : {DriverKind::kFtdi, DriverKind::kVendorLibrary}) {
    app::DriverOptions options;
    options.kind = kind;
    std::string error;
    auto driver = app::makeDriver(options, error);
    ASSERT_TRUE(driver) << error;
    EXPECT_EQ(driver->sim, nullptr);
    EXPECT_EQ(driver->virtualClock, nullptr);
  }
}

}  // namespace
}  // namespace parvolin::test
