#include "device/driver_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace parvolin::device {
namespace {

TEST(DriverSupport, UsbIdsParseOnlyInTheLsusbForm) {
  EXPECT_EQ(parseUsbId("0403:6001"), (FtdiD2xx::UsbId{0x0403, 0x6001}));
  EXPECT_EQ(parseUsbId("ABCD:ef01"), (FtdiD2xx::UsbId{0xABCD, 0xEF01}));
  for (const char* bad : {"", "0403", "0403:", ":6001", "403:6001", "0403:60011", "0403-6001",
                          "04g3:6001", "0403:6001 ", "+403:6001"}) {
    EXPECT_FALSE(parseUsbId(bad)) << bad;
  }
}

// The rule shipped in data/ is the one the programs print for the default ids.
TEST(DriverSupport, ShippedUdevRuleMatchesTheDefaultIds) {
  std::ifstream file(std::string(PARVOLIN_SOURCE_DIR) + "/data/" + std::string(kUdevRuleFileName));
  ASSERT_TRUE(file);
  std::stringstream shipped;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line[0] != '#') shipped << line << '\n';
  }
  EXPECT_EQ(shipped.str(), udevRules(FtdiD2xx().usbIds()));
}

}  // namespace
}  // namespace parvolin::device
