// The recorder and pvtool through their libftdi backend (--driver ftdi) on emulated units that
// appear as USB devices: libftdi, libusb and the kernel's USB device interface carry every byte,
// answered by the USB test bed's model of the units' serial chip.

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "e2e/headless_recorder.h"
#include "e2e/run_program.h"
#include "engine/stream_capture.h"
#include "sim/scenario.h"
#include "support/test_files.h"
#include "support/usb/usb_test_bed.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;

class UsbTestBed : public HeadlessRecorder {
 protected:
  std::map<std::string, std::string> bedEnv() const {
    auto all = env();
    for (const auto& [k, v] : bed_.env()) all[k] = v;
    return all;
  }
  std::unique_ptr<ProgramRun> startOnBed(const std::filesystem::path& program,
                                         const std::vector<std::string>& args,
                                         const std::string& name) {
    return std::make_unique<ProgramRun>(program, args, bedEnv(), work(), root_ / (name + ".out"),
                                        root_ / (name + ".err"));
  }
  void addScenario(const std::string& text) {
    std::string error;
    const auto scenario = sim::parseScenario(text, "bed.scn", work(), error);
    ASSERT_TRUE(scenario) << error;
    bed_.addScenario(*scenario);
  }

  test::UsbTestBed bed_;
};

sim::UnitConfig unit(const std::string& serial) {
  sim::UnitConfig config;
  config.serial = serial;
  return config;
}

TEST_F(UsbTestBed, UnitsListsTheDevicesWithTheirSerialNumbers) {
  bed_.addUnit(unit("PVUSB001"));
  bed_.addUnit(unit("PVUSB002"));
  auto run = startOnBed(kPvtool, {"units", "--driver", "ftdi", "--seconds", "0.5"}, "units");
  ASSERT_EQ(run->wait(), 0) << run->output() << run->errors();
  const std::string out = run->output();
  EXPECT_NE(out.find("2 unit(s) listed."), std::string::npos) << out;
  // libusb lists the devices in an order of its own.
  EXPECT_NE(out.find("  serial PVUSB001\n  version     B5 "), std::string::npos) << out;
  EXPECT_NE(out.find("  serial PVUSB002\n  version     B5 "), std::string::npos) << out;
  EXPECT_NE(out.find("  stream      started"), std::string::npos) << out;
  // What libftdi sent to open and set up the chip, and the setup's commands on bulk OUT.
  for (const char* serial : {"PVUSB001", "PVUSB002"}) {
    std::vector<std::uint8_t> requests;
    for (const auto& r : bed_.controlRequests(serial)) requests.push_back(r.request);
    ASSERT_GE(requests.size(), 3u) << serial;
    EXPECT_EQ(requests[0], 0x00) << "reset";
    EXPECT_EQ(requests[1], 0x03) << "baud rate";
    EXPECT_EQ(requests[2], 0x09) << "latency timer";
    EXPECT_EQ(bed_.controlRequests(serial)[2].value, 2) << "latency 2 ms";
    EXPECT_GT(bed_.bytesToUnit(serial), 0u);
    EXPECT_GT(bed_.bytesFromUnit(serial), 0u);
    EXPECT_GE(bed_.opens(serial), 2) << "listing and opening";
  }
}

}  // namespace
}  // namespace parvolin::e2e

int main(int argc, char** argv) {
  // The bed sends the devices' uevents through libudev, which must see the bed's sysfs: the
  // tests run under umockdev's preload library, this program starting itself again under it.
  if (!parvolin::test::UsbTestBed::runsUnderPreload()) {
    parvolin::test::UsbTestBed::restartUnderPreload(argv);
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
