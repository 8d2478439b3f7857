#include "app/parvolin_options.h"

#include <gtest/gtest.h>

namespace parvolin::app {
namespace {

TEST(ParvolinOptions, AcceptsBothValueFormsAndPassesDriverChoicesOn) {
  std::string error;
  const auto o = parseParvolinOptions(
      {"--headless", "--simulate=calls.scn", "--virtual", "--folder", "rec", "--config=p.conf",
       "--usb-id", "0403:6001", "--capture", "c.pvcap", "--force"},
      error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->force);
  EXPECT_TRUE(o->headless);
  EXPECT_TRUE(o->simulated);
  EXPECT_TRUE(o->virtualClock);
  EXPECT_EQ(*o->folder, "rec");
  EXPECT_EQ(*o->config, "p.conf");
  EXPECT_EQ(*o->capture, "c.pvcap");
  EXPECT_EQ(o->driverArgs,
            (std::vector<std::string>{"--simulate=calls.scn", "--virtual", "--usb-id=0403:6001"}));
}

TEST(ParvolinOptions, ReplayImpliesHeadlessAndRefusesWhatItCannotDo) {
  std::string error;
  const auto replay = parseParvolinOptions({"--replay", "c.pvcap", "--folder", "out"}, error);
  ASSERT_TRUE(replay) << error;
  EXPECT_TRUE(replay->headless);

  const std::vector<std::vector<std::string>> refused = {
      {"--replay", "c.pvcap"},
      {"--replay", "c.pvcap", "--folder", "o", "--capture", "d.pvcap"},
      {"--replay", "c.pvcap", "--folder", "o", "--simulate"},
      {"--replay", "c.pvcap", "--folder", "o", "--driver", "sim"},
      {"--replay", "c.pvcap", "--folder", "o", "--usb-id", "0403:6001"},
      {"--replay", "c.pvcap", "--folder", "o", "--realtime"},
      {"--headless", "--minimized"},
      {"--folder"},
      {"--driver"},
      {"--colour"},
      {"--simulate", "--virtual"},
      {"--headless", "--force"},  // --force only lets a capture replace a file
  };
  for (const auto& args : refused) {
    error.clear();
    EXPECT_FALSE(parseParvolinOptions(args, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(ParvolinOptions, HelpAndVersionWinOverEverythingAfterThem) {
  std::string error;
  const auto help = parseParvolinOptions({"--headless", "--help", "--colour"}, error);
  ASSERT_TRUE(help) << error;
  EXPECT_TRUE(help->help);
  const auto version = parseParvolinOptions({"--version", "--replay"}, error);
  ASSERT_TRUE(version) << error;
  EXPECT_TRUE(version->version);
  // Before them, a bad option is still refused.
  EXPECT_FALSE(parseParvolinOptions({"--colour", "--help"}, error));
}

}  // namespace
}  // namespace parvolin::app
